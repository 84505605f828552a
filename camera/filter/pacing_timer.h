#pragma once
// The wait between two samples. A millisecond wait (Sleep, a time-out) ends
// on the system's timer tick, 15.6 ms by default: a capture program that
// never raised the timer resolution would see the samples of a 30 a second
// stream come at 31 or 47 ms. A high-resolution waitable timer (Windows 10,
// version 1803 on) ends within about a millisecond of its due time whatever
// the host did; older systems get an ordinary waitable timer. The stream's
// clock is the performance counter, never the millisecond counter.
#include <windows.h>

#include "common/unique_handle.h"

// Performance-counter time in 100-ns units.
LONGLONG PerformanceTime100ns();

class CPacingTimer {
public:
    CPacingTimer();
    CPacingTimer(const CPacingTimer&) = delete;
    CPacingTimer& operator=(const CPacingTimer&) = delete;

    // Whether the timer is a high-resolution one.
    bool HighResolution() const { return m_highResolution; }
    // Waits `delay` (100-ns units) or until `stop` is set; false when stop
    // ended the wait.
    bool Wait(LONGLONG delay, HANDLE stop);

private:
    UniqueHandle m_timer;
    bool m_highResolution = false;
};
