#pragma once
// FFmpeg's console output, taken through a pipe of QvShow.exe's so that the
// progress watchdog can read it, and passed on byte for byte, in order, to
// QvShow.exe's standard error: what the daemon mirrors stays what FFmpeg
// printed. FFmpeg's standard output and standard error share the one pipe,
// as they share the daemon's, so nothing is reordered between them either.
#include "common/non_copyable.h"
#include "common/unique_handle.h"
#include "encoder/progress_watchdog.h"
#include "encoder/text_watch.h"

#include <windows.h>

#include <mutex>

class COutputRelay : private CNonCopyable {
public:
    explicit COutputRelay(DWORD startTick) : m_watchdog(startTick) {}
    ~COutputRelay();

    // Creates the pipe; false with the system's error code.
    bool Open(DWORD& error);
    // The end FFmpeg writes to (the child gets an inheritable copy).
    HANDLE WriteEnd() const { return m_write.get(); }
    // Once FFmpeg holds its copy: lets go of ours, so that the pipe ends
    // with FFmpeg, and starts passing the output on.
    bool Start(DWORD& error);
    // Waits until every writer is gone and all was passed on; bounded.
    bool WaitForEnd(DWORD timeoutMs);

    // Reads the clock under the lock, after the last progress the watchdog
    // stored: a clock read before a line that came in between would wrap to a
    // huge age and end a healthy run.
    bool Expired();
    bool ReachedServer();
    // Looks out for `text` in FFmpeg's output from now on (set before Start).
    void WatchFor(const std::string& text) { m_watch = CTextWatch(text); }
    bool Saw();

private:
    static DWORD WINAPI ThreadRelayOutput(void* self);
    void Relay();

    UniqueHandle m_read;
    UniqueHandle m_write;
    UniqueHandle m_thread;
    std::mutex m_lock;  // guards m_watchdog and m_watch
    CProgressWatchdog m_watchdog;
    CTextWatch m_watch;
};
