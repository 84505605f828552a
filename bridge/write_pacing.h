#pragma once
// At most 30 pictures a second go into the camera, whatever the webcam's
// rate: the camera delivers 15 a second and only ever the latest picture,
// so more writes would only cost time. A picture that comes a little early
// (a quarter of a period) still counts as on time, so a webcam at 30 a
// second with jitter loses none; a faster one gives every other picture.
#include <windows.h>

#include <algorithm>

class CWritePacing {
public:
    // ticksPerSecond: of the clock the caller passes to Due.
    explicit CWritePacing(LONGLONG ticksPerSecond)
        : m_period(ticksPerSecond / 30), m_slack(ticksPerSecond / 120) {}

    // True when a picture arriving at `now` is to be written; it then counts
    // as written.
    bool Due(LONGLONG now) {
        if (m_started && now + m_slack < m_nextDue) return false;
        // After a pause the schedule starts again from now: no burst of
        // catching up.
        m_nextDue = (m_started ? std::max(m_nextDue, now - m_slack) : now) + m_period;
        m_started = true;
        return true;
    }

private:
    LONGLONG m_period;
    LONGLONG m_slack;
    LONGLONG m_nextDue = 0;
    bool m_started = false;
};
