#pragma once
// A process the daemon started and keeps: its handle, and a job object that
// ends it, and whatever it started, when the job's last handle closes. The
// daemon holds that handle, so the daemon's own end, however it comes (a
// crash, kill -9 under Wine, the task manager), ends the encoder, its
// FFmpeg and the bridge with it.
#include "common/unique_handle.h"

#include <windows.h>

#include <string>

class COwnedProcess {
public:
    COwnedProcess() = default;
    COwnedProcess(COwnedProcess&&) = default;
    COwnedProcess& operator=(COwnedProcess&&) = default;

    // Creates the process suspended, puts it into a new kill-on-close job and
    // lets it run. applicationName may be null. A process that cannot be put
    // into a job (the daemon itself runs in a job that forbids nesting, on
    // Windows 7) runs without one rather than not at all.
    bool Start(const wchar_t* applicationName, std::wstring commandLine, bool inheritHandles, DWORD creationFlags,
               STARTUPINFOW& startup);

    bool Started() const { return static_cast<bool>(m_process); }
    bool Running() const;
    // The exit code once the process has ended; false while it runs or when
    // nothing was started.
    bool ExitCode(DWORD& code) const;
    DWORD Id() const { return m_id; }
    // Milliseconds since the start (GetTickCount64).
    ULONGLONG Age() const;

    // Terminates everything in the job (exit code 4) and waits, at most
    // timeoutMs, until the process is gone. True when it is gone.
    bool End(DWORD timeoutMs);
    // Ends what the process left behind in its job once it has ended by
    // itself (an FFmpeg that QvShow.exe could not nest in a job of its own).
    void EndLeftInJob();
    // Closes the handles; the kill-on-close job ends what still runs.
    void Reset();

private:
    UniqueHandle m_job;
    UniqueHandle m_process;
    DWORD m_id = 0;
    ULONGLONG m_startTick = 0;
};

// The exit code with which the daemon ends what it started.
const UINT kKilledExitCode = 4;
