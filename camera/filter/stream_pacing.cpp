#include "camera/filter/stream_pacing.h"

DWORD PacingDelayMs(REFERENCE_TIME start, DWORD elapsedMs) {
    const REFERENCE_TIME target = start > kReleaseLead ? start - kReleaseLead : start;
    const unsigned long long elapsed = static_cast<unsigned long long>(elapsedMs) * 10000u;
    if (target <= 0 || static_cast<unsigned long long>(target) <= elapsed) return 0;
    return static_cast<DWORD>((static_cast<unsigned long long>(target) - elapsed) / 10000u);
}

DWORD LaterTick(DWORD a, DWORD b) { return static_cast<LONG>(b - a) > 0 ? b : a; }

LONGLONG PacingDelay(REFERENCE_TIME start, LONGLONG elapsed) {
    const REFERENCE_TIME target = start > kReleaseLead ? start - kReleaseLead : start;
    return target > elapsed ? target - elapsed : 0;
}
