#include "daemon/publisher/supervisor.h"

#include "daemon/publisher/camera_launch.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_lock.h"
#include "daemon/publisher/process_list.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/stream_signing.h"

namespace {

const DWORD kCycleMs = 500;

// The flag and the process list are read again under the launch lock: a
// stop that ran meanwhile has cleared the flag, and a launch that ran
// meanwhile has started the executable.
bool StillLost(const std::atomic<bool>& wanted, const wchar_t* imageName) {
    return wanted && !FindProcessByName(imageName);
}

void RestoreBridge(PublishState& state) {
    if (!StillLost(state.bridgeWanted, kBridgeImageName)) return;
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kBridgeImageName));
    if (!StillLost(state.bridgeWanted, kBridgeImageName)) return;
    runCamera(state.GetVideoDevice(), state.GetAudioDevice());
}

void RestoreEncoder(PublishState& state) {
    if (!StillLost(state.publishingWanted, kEncoderImageName)) return;
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kEncoderImageName));
    if (!StillLost(state.publishingWanted, kEncoderImageName)) return;
    ResignStreamUrl();
    RunPublish(kVirtualCameraName, state.GetAudioDevice(), state.GetStreamUrl());
}

// True when the stop event has been signalled during the pause.
bool PauseOrStop(HANDLE stopEvent) {
    if (!stopEvent) {
        ::Sleep(kCycleMs);
        return false;
    }
    return ::WaitForSingleObject(stopEvent, kCycleMs) != WAIT_TIMEOUT;
}

}  // namespace

DWORD WINAPI ThreadSupervisor(LPVOID stopEvent) {
    PublishState& state = ThePublishState();
    while (!PauseOrStop(static_cast<HANDLE>(stopEvent))) {
        // An exception must not end the process through the thread entry
        // (a failed allocation in a launch, say); the next cycle tries again.
        try {
            RestoreBridge(state);
            RestoreEncoder(state);
        } catch (...) {
        }
    }
    return 0;
}
