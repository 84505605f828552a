#pragma once
// Stream times and wall-clock pacing of the camera's samples: 15 a second,
// each released 15 ms before its start time comes due.
#include <windows.h>
#include <strmif.h>

// 10,000,000 / 15 cut toward zero: every sample lasts exactly this long.
constexpr REFERENCE_TIME kSampleDuration = 666666;
// Samples leave this much (100-ns units) ahead of their start time.
constexpr REFERENCE_TIME kReleaseLead = 150000;

// Milliseconds to hold a sample that starts at `start` (stream time), when
// `elapsedMs` have passed since the pacing reference; 0 when it is due.
DWORD PacingDelayMs(REFERENCE_TIME start, DWORD elapsedMs);
// The same in 100-ns units, for a reference on the performance counter
// (pacing_timer.h); 0 when it is due.
LONGLONG PacingDelay(REFERENCE_TIME start, LONGLONG elapsed);

// The later of two timeGetTime readings. The millisecond counter wraps every
// 49.7 days, so the readings are compared by their difference, which is
// right as long as they lie less than 24.8 days apart.
DWORD LaterTick(DWORD a, DWORD b);

// The moment samples are paced against: the filter's last Run, or the pin's
// last Active when that came later. Before the first Run of a streaming
// session the filter's value is older than Active (its creation, or a run of
// an earlier session); pacing against it would let the paused pin race ahead
// of the wall clock, and every sample it got ahead would then be held back
// after the Run.
inline DWORD PacingReference(DWORD runStartMs, DWORD activeMs) { return LaterTick(runStartMs, activeMs); }
// The same on the performance counter (100-ns units), which does not wrap.
inline LONGLONG PacingReferenceTime(LONGLONG runStart, LONGLONG active) { return runStart > active ? runStart : active; }
