#include "tools/demo_devices/filters/live_pacer.h"

#include <mmsystem.h>

CLivePacer::CLivePacer()
    : m_running(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_halted(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CLivePacer::Activate() {
    m_started = false;
    ::ResetEvent(m_running.get());
    ::ResetEvent(m_halted.get());
}

void CLivePacer::Run() {
    const DWORD now = ::timeGetTime();
    if (!m_started) {
        m_originMs = now;
        m_started = true;
    } else {
        m_originMs += now - m_pausedAtMs;
    }
    ::SetEvent(m_running.get());
}

void CLivePacer::Pause() {
    if (::WaitForSingleObject(m_running.get(), 0) != WAIT_OBJECT_0) return;
    m_pausedAtMs = ::timeGetTime();
    ::ResetEvent(m_running.get());
}

void CLivePacer::Halt() { ::SetEvent(m_halted.get()); }

void CLivePacer::WaitUntilHalted() { ::WaitForSingleObject(m_halted.get(), INFINITE); }

bool CLivePacer::WaitUntil(REFERENCE_TIME due) {
    const HANDLE either[] = {m_halted.get(), m_running.get()};
    for (;;) {
        if (::WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return false;
        // Millisecond timer differences stay right across its 49.7-day wrap.
        const LONGLONG elapsedMs = static_cast<LONG>(::timeGetTime() - m_originMs.load());
        const LONGLONG dueMs = (due + 9999) / 10000;
        if (elapsedMs >= dueMs) return true;
        const DWORD waitMs = static_cast<DWORD>(dueMs - elapsedMs);
        if (::WaitForSingleObject(m_halted.get(), waitMs) == WAIT_OBJECT_0) return false;
        // A pause during the wait moved the origin on: look again.
    }
}
