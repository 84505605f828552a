#include "daemon/publisher/supervisor.h"

#include "common/child_exit_codes.h"
#include "daemon/publisher/camera_launch.h"
#include "daemon/publisher/child_slot.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/exit_reasons.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_lock.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/status_board.h"
#include "daemon/publisher/stream_signing.h"

#include <string>

namespace {

const DWORD kCycleMs = 500;
const char kNotStartedWords[] = " could not be started";

struct Watched {
    const wchar_t* imageName;
    StatusKind kind;
    std::atomic<bool> PublishState::*wanted;
};

// Answers the end of the executable once: a missing program, and a set-up
// failure of the first launch after a command, give up; every other end is
// retried after the back-off. Under the launch lock.
void SeeLoss(const Watched& w, CChildSlot& slot) {
    if (slot.lossSeen) return;
    slot.lossSeen = true;
    DWORD code = 0;
    const bool started = slot.process.ExitCode(code);
    const DWORD startError = slot.process.StartError();
    // What it left in its job (an FFmpeg that could not be nested in
    // QvShow.exe's own job) goes with it.
    slot.process.EndLeftInJob(kExitKilledByDaemon);
    if (!started && IsMissingProgram(startError)) {
        slot.gaveUp = true;
        TheStatusBoard().Failed(w.kind, StartFailureReason(w.imageName, startError), static_cast<long>(startError));
        return;
    }
    if (started && slot.commanded && IsSetupFailure(w.imageName, code)) {
        slot.gaveUp = true;
        TheStatusBoard().Failed(w.kind, ExitReason(w.imageName, code), static_cast<long>(code));
        return;
    }
    const DWORD delay = slot.backoff.OnLoss(TheStatusBoard().HealthyFor(w.kind));
    slot.nextStartTick = ::GetTickCount64() + delay;
    const std::string words = started ? ExitReason(w.imageName, code)
                                      : std::string(w.imageName, w.imageName + wcslen(w.imageName)) + kNotStartedWords;
    TheStatusBoard().Retrying(w.kind, words, delay, slot.backoff.Attempt());
}

void Restore(const Watched& w, PublishState& state) {
    if (!(state.*w.wanted)) return;
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(w.imageName));
    // Read again under the lock: a stop that ran meanwhile has cleared the
    // flag, and a launch that ran meanwhile has started the executable.
    CChildSlot& slot = ChildSlot(w.imageName);
    if (!(state.*w.wanted) || slot.process.Running()) return;
    SeeLoss(w, slot);
    if (slot.gaveUp || ::GetTickCount64() < slot.nextStartTick) return;
    if (w.kind == StatusKind::Camera) {
        RelaunchCamera(state.GetVideoDevice(), state.GetAudioDevice());
    } else {
        ResignStreamUrl();
        RelaunchPublish(kVirtualCameraName, state.GetAudioDevice(), state.GetStreamUrl());
    }
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
    static const Watched kBridge = {kBridgeImageName, StatusKind::Camera, &PublishState::bridgeWanted};
    static const Watched kEncoder = {kEncoderImageName, StatusKind::Publish, &PublishState::publishingWanted};
    while (!PauseOrStop(static_cast<HANDLE>(stopEvent))) {
        // An exception must not end the process through the thread entry
        // (a failed allocation in a launch, say); the next cycle tries again.
        try {
            TheStatusBoard().CheckStall();
            Restore(kBridge, state);
            Restore(kEncoder, state);
        } catch (...) {
        }
    }
    return 0;
}
