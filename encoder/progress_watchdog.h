#pragma once
// Whether FFmpeg still gets the stream out. FFmpeg reports its progress in
// lines "frame= ... fps= ... bitrate= ... speed=" (each ended by a carriage
// return so that a console rewrites it in place), about twice a second once
// its output is open. The first such line therefore says the server was
// reached; a growing frame count says the stream moves. A server that
// accepts the connection and never answers, or one that stops taking data,
// leaves FFmpeg blocked and silent; its own I/O time-out (-rw_timeout) is
// set longer, so that this watchdog's clearer "no progress" comes first.
#include <windows.h>

#include <string>

// How long FFmpeg may go without progress (and may take to reach the server).
constexpr DWORD kNoProgressLimitMs = 15000;

class CProgressWatchdog {
public:
    // startTick: GetTickCount when FFmpeg started.
    explicit CProgressWatchdog(DWORD startTick) : m_lastProgress(startTick) {}

    // FFmpeg's output as it arrives, in pieces of any size, at tick `now`.
    void Feed(const char* bytes, size_t count, DWORD now);
    // True once kNoProgressLimitMs have passed since the last progress (or
    // since the start, when none came yet). A progress stored after `now`
    // was read is no age at all.
    bool Expired(DWORD now) const {
        return static_cast<LONG>(now - m_lastProgress) >= static_cast<LONG>(kNoProgressLimitMs);
    }
    bool ReachedServer() const { return m_reachedServer; }

private:
    void TakeLine(DWORD now);

    std::string m_line;  // the line being assembled, bounded
    DWORD m_lastProgress;
    bool m_reachedServer = false;
    long long m_lastFrame = -1;
};

// The frame count of a progress line, or -1 when `line` is none.
long long ProgressLineFrame(const std::string& line);
