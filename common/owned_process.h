#pragma once
// A process that cannot outlive its owner: its handle, and a job object that
// ends it, and whatever it started, when the job's last handle closes. The
// owner holds that handle, so the owner's own end, however it comes (a
// crash, kill -9 under Wine, the task manager), ends the child with it. The
// daemon holds QvShow.exe and QvGraph.exe this way, QvShow.exe its FFmpeg.
#include "common/unique_handle.h"

#include <windows.h>

#include <string>

class COwnedProcess {
public:
    COwnedProcess() = default;
    COwnedProcess(COwnedProcess&&) = default;
    COwnedProcess& operator=(COwnedProcess&&) = default;

    // Creates the process suspended, puts it into a new kill-on-close job and
    // lets it run; applicationName may be null. Where jobs do not nest
    // (Windows 7) and the owner itself runs in a job, the child stays in that
    // job, which contains it as well; a child that no job would hold is not
    // started at all. False with StartError() set when nothing runs.
    bool Start(const wchar_t* applicationName, std::wstring commandLine, bool inheritHandles, DWORD creationFlags,
               STARTUPINFOW& startup);

    bool Started() const { return static_cast<bool>(m_process); }
    // The system's error code of the last failed Start (0 after a good one).
    DWORD StartError() const { return m_startError; }
    bool Running() const;
    // The exit code once the process has ended; false while it runs or when
    // nothing was started.
    bool ExitCode(DWORD& code) const;
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process.get(); }

    // Terminates everything in the job with exitCode (only the process when
    // it has no job of its own) without waiting.
    void Terminate(UINT exitCode);
    // The same, then waits at most timeoutMs until the process is gone. True
    // when it is gone.
    bool End(UINT exitCode, DWORD timeoutMs);
    // Ends what the process left behind in its job once it has ended by
    // itself (an FFmpeg that QvShow.exe could not nest in a job of its own).
    void EndLeftInJob(UINT exitCode);
    // Closes the handles; the kill-on-close job ends what still runs.
    void Reset();

private:
    UniqueHandle m_job;
    UniqueHandle m_process;
    DWORD m_id = 0;
    DWORD m_startError = 0;
};
