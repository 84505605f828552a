#include "camera/filter/pacing_timer.h"

namespace {

// winbase.h of older tool chains lacks it.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

}  // namespace

LONGLONG PerformanceTime100ns() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    // In two parts, so that the product cannot overflow for centuries.
    return now.QuadPart / frequency * 10000000 + now.QuadPart % frequency * 10000000 / frequency;
}

CPacingTimer::CPacingTimer() {
    m_timer.reset(::CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS));
    m_highResolution = static_cast<bool>(m_timer);
    if (!m_timer) m_timer.reset(::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
}

bool CPacingTimer::Wait(LONGLONG delay, HANDLE stop) {
    if (delay <= 0) return ::WaitForSingleObject(stop, 0) != WAIT_OBJECT_0;
    LARGE_INTEGER due;
    due.QuadPart = -delay;  // relative
    if (!m_timer || !::SetWaitableTimer(m_timer.get(), &due, 0, nullptr, nullptr, FALSE)) {
        const DWORD ms = static_cast<DWORD>((delay + 9999) / 10000);
        return ::WaitForSingleObject(stop, ms) != WAIT_OBJECT_0;
    }
    const HANDLE handles[2] = {stop, m_timer.get()};
    const DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0) ::CancelWaitableTimer(m_timer.get());
    return result != WAIT_OBJECT_0;
}
