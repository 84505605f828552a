#include "daemon/web/devices_feed.h"

#include "daemon/devices/shared_audio_device_listing.h"
#include "daemon/devices/shared_camera_listing.h"
#include "daemon/web/devices_message.h"

namespace {

// Also the longest a stopping feed takes to notice.
const DWORD kChangeWaitMs = 500;

}  // namespace

CDevicesFeed::CDevicesFeed(WebSocketConnection& connection) : m_connection(connection) {
    SharedCameraListing& listing = TheCameraListing();
    listing.Subscribe();
    // Taken first: a change while this list is made is sent again.
    const uint64_t seen = listing.Version();
    if (!Send()) return;
    try {
        m_thread = std::thread(&CDevicesFeed::Run, this, seen);
    } catch (...) {
        // No thread: this client hears of no change.
    }
}

CDevicesFeed::~CDevicesFeed() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    TheCameraListing().Unsubscribe();
}

bool CDevicesFeed::Send() {
    try {
        // The greeting's listing was made a moment ago and is reused.
        return m_connection.SendText(DevicesJson(TheCameraListing().Cameras(), TheAudioDeviceListing().Names()));
    } catch (...) {
        return true;  // out of memory at worst: the next change tries again
    }
}

void CDevicesFeed::Run(uint64_t seen) {
    SharedCameraListing& listing = TheCameraListing();
    while (!m_stop) {
        if (!listing.WaitForChange(seen, kChangeWaitMs)) continue;
        seen = listing.Version();
        if (!Send()) return;
    }
}
