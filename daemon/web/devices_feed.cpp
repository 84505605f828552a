#include "daemon/web/devices_feed.h"

#include "daemon/devices/shared_camera_listing.h"
#include "daemon/web/devices_message.h"

namespace {

// A stopping feed is woken at once; this only bounds a lost wake-up.
const DWORD kChangeWaitMs = 1000;

}  // namespace

CDevicesFeed::CDevicesFeed(WebSocketConnection& connection, const std::vector<std::wstring>& microphones)
    : m_connection(connection) {
    SharedCameraListing& listing = TheCameraListing();
    listing.Subscribe();
    try {
        // Taken first: a change while this list is made is sent again.
        const uint64_t seen = listing.Version();
        if (!m_connection.SendText(DevicesJson(listing.Cameras(), microphones))) return;
        m_thread = std::thread(&CDevicesFeed::Run, this, seen, microphones);
    } catch (...) {
        // Out of memory or no thread: this client hears of no change.
    }
}

CDevicesFeed::~CDevicesFeed() {
    m_stop = true;
    TheCameraListing().Wake();
    if (m_thread.joinable()) m_thread.join();
    TheCameraListing().Unsubscribe();
}

void CDevicesFeed::Run(uint64_t seen, std::vector<std::wstring> microphones) {
    SharedCameraListing& listing = TheCameraListing();
    try {
        while (!m_stop) {
            if (!listing.WaitForChange(seen, kChangeWaitMs, &m_stop)) continue;
            seen = listing.Version();
            listing.LastMicrophones(microphones);  // kept as they were when none were listed since
            if (!m_connection.SendText(DevicesJson(listing.LastCameras(), microphones))) return;
        }
    } catch (...) {
        // Out of memory at worst: the session goes on without device changes.
    }
}
