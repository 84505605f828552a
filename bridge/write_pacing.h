#pragma once
// At most 30 pictures a second go into the camera, whatever the webcam's
// rate: the camera delivers 15 a second and only ever the latest picture,
// so more writes would only cost time. A picture that comes a little early
// (a quarter of a period) still counts as on time, so a webcam at 30 a
// second with jitter loses none; a faster one gives every other picture.
//
// The schedule follows the pictures written: a webcam whose clock runs a
// little fast (30.03 a second: each picture 0.03 ms earlier than the one
// before it by a 30 a second schedule) would otherwise drift to the edge of
// the early allowance and then lose one picture every eight seconds or so.
// A picture up to a 128th of a period early moves the schedule with it;
// one earlier than that moves it by that much only, so that a webcam
// clearly faster than 30 a second (31, 60) is still held to about 30.
#include <windows.h>

#include <algorithm>

class CWritePacing {
public:
    // ticksPerSecond: of the clock the caller passes to Due.
    explicit CWritePacing(LONGLONG ticksPerSecond)
        : m_period(ticksPerSecond / 30), m_slack(ticksPerSecond / 120), m_drift(ticksPerSecond / 30 / 128) {}

    // True when a picture arriving at `now` is to be written; it then counts
    // as written.
    bool Due(LONGLONG now) {
        if (m_started && now + m_slack < m_nextDue) return false;
        LONGLONG slot = now;
        if (m_started) {
            // Late: after a pause the schedule starts again from now (no
            // burst of catching up); lateness within the slack is forgiven,
            // so the next picture on time is not held back.
            if (now >= m_nextDue) slot = std::max(m_nextDue, now - m_slack);
            // Early: the schedule follows by at most the drift allowance.
            else slot = std::max(now, m_nextDue - m_drift);
        }
        m_nextDue = slot + m_period;
        m_started = true;
        return true;
    }

private:
    LONGLONG m_period;
    LONGLONG m_slack;
    LONGLONG m_drift;
    LONGLONG m_nextDue = 0;
    bool m_started = false;
};
