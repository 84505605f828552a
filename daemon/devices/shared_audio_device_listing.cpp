#include "daemon/devices/shared_audio_device_listing.h"

#include "daemon/devices/list_working_audio_devices.h"
#include "daemon/text/diagnostics.h"

#include <chrono>

const char kListingBeginsText[] = "audio device listing";

SharedAudioDeviceListing::SharedAudioDeviceListing(Lister lister, ULONGLONG longestWaitMs)
    : m_lister(lister ? std::move(lister) : Lister([](std::vector<std::wstring>& names) {
          ListWorkingAudioDevices(names);
      })),
      m_longestWaitMs(longestWaitMs) {}

std::vector<std::wstring> SharedAudioDeviceListing::Names() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_running) {
        const ULONGLONG deadline = m_startedTick + m_longestWaitMs;
        const ULONGLONG now = ::GetTickCount64();
        if (now < deadline)
            m_finished.wait_for(lock, std::chrono::milliseconds(deadline - now), [this] { return !m_running; });
        // Still running: stuck. Another listing beside it would only hang as well.
        if (m_running) return m_names;
    }
    if (m_haveNames && ::GetTickCount64() - m_finishedTick < kListingReuseMs) return m_names;
    m_running = true;
    m_startedTick = ::GetTickCount64();
    lock.unlock();
    PrintLine(kListingBeginsText);
    std::vector<std::wstring> names;
    try {
        m_lister(names);
    } catch (...) {
        // Out of memory at worst: this greeting lists nothing.
        names.clear();
    }
    lock.lock();
    m_names = names;
    m_haveNames = true;
    m_finishedTick = ::GetTickCount64();
    m_running = false;
    m_finished.notify_all();
    return names;
}

SharedAudioDeviceListing& TheAudioDeviceListing() {
    static SharedAudioDeviceListing listing;
    return listing;
}
