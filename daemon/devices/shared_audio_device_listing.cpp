#include "daemon/devices/shared_audio_device_listing.h"

#include "daemon/devices/list_working_audio_devices.h"

#include <chrono>

namespace {

// Longer than any listing takes; a listing stuck beyond it (a driver that
// hangs in its graph) no longer holds the others, which then list themselves.
const std::chrono::seconds kLongestWait(30);

}  // namespace

std::vector<std::wstring> SharedAudioDeviceListing::Names() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_running) m_finished.wait_for(lock, kLongestWait, [this] { return !m_running; });
    if (m_haveNames && ::GetTickCount64() - m_finishedTick < kListingReuseMs) return m_names;
    m_running = true;
    lock.unlock();
    std::vector<std::wstring> names;
    try {
        ListWorkingAudioDevices(names);
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
