#include "daemon/devices/shared_camera_listing.h"

#include "common/unique_handle.h"
#include "daemon/devices/enum_video_capture_devices.h"
#include "daemon/devices/shared_audio_device_listing.h"

#include <dbt.h>
#include <objbase.h>

#include <chrono>
#include <thread>

namespace {

// The DirectShow capture categories' keys: what registering or removing a
// virtual camera or microphone changes.
const wchar_t* const kCategoryKeys[] = {
    L"SOFTWARE\\Classes\\CLSID\\{860BB310-5D01-11d0-BD3B-00A0C911CE86}",  // video input devices
    L"SOFTWARE\\Classes\\CLSID\\{33D9A762-90C8-11d0-BD43-00A0C911CE86}",  // audio input devices
};

const wchar_t kWatchWindowClass[] = L"QvPushDeviceWatch";

using UniqueRegistryKey = UniqueHandleT<NullableHandleTraits<HKEY, ::RegCloseKey>>;
using UniqueDeviceNotification = UniqueHandleT<NullableHandleTraits<HDEVNOTIFY, ::UnregisterDeviceNotification>>;

LRESULT CALLBACK WatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)) {
        auto* noticed = reinterpret_cast<bool*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (noticed) *noticed = true;
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A category key to watch, with its event armed; nothing when the key is
// missing (no device of that category was ever registered).
struct WatchedKey {
    UniqueRegistryKey key;
    UniqueHandle changed;

    bool Arm() {
        return key && changed &&
               ::RegNotifyChangeKeyValue(key.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                         changed.get(), TRUE) == ERROR_SUCCESS;
    }
};

}  // namespace

std::vector<CameraEntry> SharedCameraListing::Cameras() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_running && (!m_haveList || ::GetTickCount64() - m_finishedTick >= kCameraListingReuseMs)) StartListing();
    if (!m_haveList && m_firstStartTick != 0) {
        const ULONGLONG waited = ::GetTickCount64() - m_firstStartTick;
        if (waited < kCameraListingWaitMs)
            m_changed.wait_for(lock, std::chrono::milliseconds(kCameraListingWaitMs - waited),
                               [this] { return m_haveList; });
    }
    return m_cameras;
}

std::vector<CameraEntry> SharedCameraListing::LastCameras() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cameras;
}

bool SharedCameraListing::LastMicrophones(std::vector<std::wstring>& names) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_haveMicrophones) names = m_microphones;
    return m_haveMicrophones;
}

void SharedCameraListing::Wake() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changed.notify_all();
}

uint64_t SharedCameraListing::Version() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_version;
}

bool SharedCameraListing::WaitForChange(uint64_t seen, DWORD timeoutMs, const std::atomic<bool>* stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_version != seen || (stop && *stop); });
    return m_version != seen;
}

void SharedCameraListing::Subscribe() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_subscribers;
    if (m_watching) return;
    try {
        std::thread(&SharedCameraListing::RunWatch, this).detach();
        m_watching = true;
    } catch (...) {
        // No thread: sessions hear of no change, nothing worse.
    }
}

void SharedCameraListing::Unsubscribe() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_subscribers > 0) --m_subscribers;
}

void SharedCameraListing::StartListing() {
    try {
        // Detached: a listing stuck in a driver keeps only its own thread.
        std::thread(&SharedCameraListing::RunListing, this).detach();
        m_running = true;
        if (m_firstStartTick == 0) m_firstStartTick = ::GetTickCount64();
    } catch (...) {
        // No thread: the last list stands.
    }
}

void SharedCameraListing::RunListing() {
    std::vector<CameraEntry> cameras;
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
        if (SUCCEEDED(com)) EnumVideoCaptureDevices(cameras);
    } catch (...) {
        cameras.clear();  // out of memory at worst
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_haveList && !(cameras == m_cameras)) ++m_version;
    m_cameras = std::move(cameras);
    m_haveList = true;
    m_finishedTick = ::GetTickCount64();
    m_running = false;
    m_changed.notify_all();
}

void SharedCameraListing::NoteChange(std::vector<std::wstring> microphones) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Unchanged microphones are no news (the cameras' listing has moved the
    // version already when they differ).
    if (m_haveMicrophones && microphones == m_microphones) return;
    m_microphones = std::move(microphones);
    m_haveMicrophones = true;
    ++m_version;
    m_changed.notify_all();
}

void SharedCameraListing::RunWatch() {
    bool noticed = false;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WatchWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWatchWindowClass;
    ::RegisterClassW(&windowClass);
    // A top-level window (hidden), not a message-only one: the system
    // broadcasts DBT_DEVNODES_CHANGED to top-level windows only.
    HWND window = ::CreateWindowExW(0, kWatchWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    UniqueDeviceNotification notification;
    if (window) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&noticed));
        DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        notification.reset(::RegisterDeviceNotificationW(
            window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES));
    }
    // What the sessions were greeted with (the greeting's listing, reused):
    // the microphones a notification's listing is compared with.
    try {
        std::vector<std::wstring> microphones = TheAudioDeviceListing().Names();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_microphones = std::move(microphones);
        m_haveMicrophones = true;
    } catch (...) {
        // Out of memory at worst: the first notification's list counts as news.
    }
    WatchedKey keys[2];
    std::vector<HANDLE> events;
    for (size_t i = 0; i < 2; ++i) {
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCategoryKeys[i], 0, KEY_NOTIFY, keys[i].key.put());
        keys[i].changed.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (keys[i].Arm()) events.push_back(keys[i].changed.get());
    }
    for (;;) {
        const DWORD woke = ::MsgWaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE,
                                                       kCameraRelistMs, QS_ALLINPUT);
        if (woke < WAIT_OBJECT_0 + events.size()) noticed = true;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_subscribers == 0) {
                noticed = false;
                continue;
            }
        }
        // A fresh listing: its end moves the version when the cameras differ.
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_running) StartListing();
            m_changed.wait_for(lock, std::chrono::milliseconds(kCameraListingWaitMs), [this] { return !m_running; });
        }
        // A notification may be of a microphone, which the cameras do not
        // show: the working ones are listed here, on the watch's thread, so
        // that no session waits for that listing.
        if (noticed) {
            std::vector<std::wstring> microphones;
            try {
                microphones = TheAudioDeviceListing().Names();
            } catch (...) {
                microphones.clear();  // out of memory at worst
            }
            NoteChange(std::move(microphones));
        }
        noticed = false;
        // Enumerating a category may write its keys (Wine's device enumerator
        // registers again the devices it finds): what the listings just made
        // is no news. The watch is armed again after them; a device
        // registered meanwhile was in the listing itself.
        for (WatchedKey& key : keys) {
            if (!key.changed) continue;
            ::ResetEvent(key.changed.get());
            key.Arm();
        }
    }
}

SharedCameraListing& TheCameraListing() {
    static SharedCameraListing listing;
    return listing;
}
