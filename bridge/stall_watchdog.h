#pragma once
// Whether the webcam still delivers. A webcam can stop without a word to
// the graph (a driver that hangs, a device that drops off a hub without its
// removal being reported), and the graph then waits for ever; the bridge
// would live on while the camera falls back to stand-by and no one is told.
// The streaming thread notes each usable picture; the bridge's main thread
// looks while it waits for the graph's events.
#include <windows.h>

#include <atomic>

// How long the webcam may go without a usable picture, from the graph's
// start on.
constexpr DWORD kStallLimitMs = 3000;

class CStallWatchdog {
public:
    // The clock starts (again) at `now`.
    void Restart(DWORD now) { m_lastPicture.store(now); }
    // A picture that converted; short or malformed samples are not noted.
    void NotePicture(DWORD now) { m_lastPicture.store(now); }
    bool Stalled(DWORD now) const { return now - m_lastPicture.load() >= kStallLimitMs; }

private:
    std::atomic<DWORD> m_lastPicture{::GetTickCount()};
};
