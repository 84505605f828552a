#pragma once
// Whether the webcam still delivers. A webcam can stop without a word to
// the graph (a driver that hangs, a device that drops off a hub without its
// removal being reported), and the graph then waits for ever; the bridge
// would live on while the camera falls back to stand-by and no one is told.
// The streaming thread notes each usable picture; the bridge's main thread
// looks while it waits for the graph's events.
#include <windows.h>

#include <atomic>

// How long the webcam may take for its first picture once the graph runs: a
// webcam warming up or waking from sleep takes seconds.
constexpr DWORD kFirstPictureLimitMs = 10000;
// How long it may go without a usable picture after that.
constexpr DWORD kStallLimitMs = 3000;

class CStallWatchdog {
public:
    // The clock starts (again) at `now`, waiting for a first picture.
    void Restart(DWORD now) {
        m_sawPicture.store(false);
        m_lastPicture.store(now);
    }
    // A picture that converted; short or malformed samples are not noted.
    void NotePicture(DWORD now) {
        m_lastPicture.store(now);
        m_sawPicture.store(true);
    }
    DWORD LimitMs() const { return m_sawPicture.load() ? kStallLimitMs : kFirstPictureLimitMs; }
    // Reads the clock itself, after the last picture's tick: a clock read
    // before a picture noted in between would wrap to a huge age.
    bool Stalled() const {
        const DWORD last = m_lastPicture.load();
        return StalledAt(last, ::GetTickCount());
    }
    // At `now`: a picture noted after `now` was read is no age at all.
    bool StalledAt(DWORD now) const { return StalledAt(m_lastPicture.load(), now); }

private:
    bool StalledAt(DWORD last, DWORD now) const {
        return static_cast<LONG>(now - last) >= static_cast<LONG>(LimitMs());
    }

    std::atomic<DWORD> m_lastPicture{::GetTickCount()};
    std::atomic<bool> m_sawPicture{false};
};
