#include "daemon/publisher/launch_lock.h"

#include "common/unique_handle.h"
#include "daemon/publisher/image_names.h"

namespace {

// Raised while at least one stop of the image name is on its way.
struct StopSignal {
    std::mutex mutex;
    int pending = 0;
    UniqueHandle raised{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

StopSignal& StopSignalOf(const std::wstring& imageName) {
    // Deliberately leaked, as the locks are.
    static StopSignal* encoder = new StopSignal();
    static StopSignal* bridge = new StopSignal();
    static StopSignal* other = new StopSignal();
    if (imageName == kEncoderImageName) return *encoder;
    if (imageName == kBridgeImageName) return *bridge;
    return *other;
}

}  // namespace

std::recursive_mutex& LaunchLock(const std::wstring& imageName) {
    // Deliberately leaked: the exit may stop executables while other threads still run.
    static std::recursive_mutex* encoder = new std::recursive_mutex();
    static std::recursive_mutex* bridge = new std::recursive_mutex();
    static std::recursive_mutex* other = new std::recursive_mutex();
    if (imageName == kEncoderImageName) return *encoder;
    if (imageName == kBridgeImageName) return *bridge;
    return *other;
}

CStopRequest::CStopRequest(const std::wstring& imageName) : m_imageName(imageName) {
    StopSignal& signal = StopSignalOf(m_imageName);
    std::lock_guard<std::mutex> guard(signal.mutex);
    if (signal.pending++ == 0 && signal.raised) ::SetEvent(signal.raised.get());
}

CStopRequest::~CStopRequest() {
    StopSignal& signal = StopSignalOf(m_imageName);
    std::lock_guard<std::mutex> guard(signal.mutex);
    if (--signal.pending == 0 && signal.raised) ::ResetEvent(signal.raised.get());
}

void SettleAfterLaunch(const std::wstring& imageName, DWORD ms) {
    StopSignal& signal = StopSignalOf(imageName);
    if (!signal.raised) {
        ::Sleep(ms);
        return;
    }
    ::WaitForSingleObject(signal.raised.get(), ms);
}
