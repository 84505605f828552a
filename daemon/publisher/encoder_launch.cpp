#include "daemon/publisher/encoder_launch.h"

#include "daemon/publisher/child_slot.h"
#include "daemon/publisher/encoder_presets.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_gate.h"
#include "daemon/publisher/launch_lock.h"
#include "daemon/publisher/output_watchers.h"
#include "daemon/publisher/own_directory.h"
#include "daemon/publisher/process_launch.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/status_board.h"
#include "daemon/text/diagnostics.h"

#include <windows.h>

namespace {

const wchar_t kKilledText[] = L"杀进程成功!\r\n";
const wchar_t kLaunchCalledText[] = L"OpenProcessEx_RunPublish call\r\n";
const wchar_t kNotRunningText[] = L"OpenProcessEx_RunPublish process start faild\r\n";
const wchar_t kStartedText[] = L" start sucess ,cmd_line:";
const wchar_t kStoppedText[] = L" stop sucess";
const DWORD kSettleMs = 1000;

void LaunchEncoder(const std::wstring& videoDevice, const std::wstring& audioDevice, const std::wstring& streamUrl) {
    PublishState& state = ThePublishState();
    CChildSlot& slot = ChildSlot(kEncoderImageName);
    const std::wstring executable = OwnExecutablePath(kEncoderImageName);
    const int32_t level = state.GetPushLevel();
    const std::wstring arguments = BuildEncoderArguments(level, videoDevice, audioDevice, streamUrl);

    // Ours is ended and gone before the new one starts: two encoders of one
    // stream would meet "already publishing" at the server.
    if (EndExecutable(kEncoderImageName, slot, kStopWaitMs)) DebugText(std::wstring(kKilledText));

    const unsigned generation =
        TheStatusBoard().Starting(StatusKind::Publish, EffectivePushLevel(level), std::string(), slot.backoff.Attempt());
    slot.lossSeen = false;
    LaunchWatched(std::wstring(), EncoderCommandLine(executable, arguments), 0, EncoderOutputWatcher(generation),
                  slot.process);
    DebugText(std::wstring(kLaunchCalledText));
    SettleAfterLaunch(kEncoderImageName, kSettleMs);
    if (!slot.process.Running()) DebugText(std::wstring(kNotRunningText));
    state.publishingWanted = true;
    DebugText(kEncoderImageName + std::wstring(kStartedText) + executable + arguments);
}

}  // namespace

void RunPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kEncoderImageName));
    // Checked under the lock: an exit that closed the launches meanwhile
    // stops, under the same lock, whatever was started before.
    if (LaunchesClosed()) return;
    CChildSlot& slot = ChildSlot(kEncoderImageName);
    slot.backoff.Reset();
    slot.gaveUp = false;
    slot.commanded = true;
    LaunchEncoder(videoDevice, audioDevice, streamUrl);
}

void RelaunchPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kEncoderImageName));
    if (LaunchesClosed()) return;
    ChildSlot(kEncoderImageName).commanded = false;
    LaunchEncoder(videoDevice, audioDevice, streamUrl);
}

void StopExecutable(std::wstring imageName) {
    StopExecutable(imageName, ::GetTickCount64() + kStopStepMs);
}

void StopExecutable(std::wstring imageName, ULONGLONG deadlineTick) {
    CStopRequest request(imageName);
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(imageName));
    PublishState& state = ThePublishState();
    // The flag goes whether or not the executable runs right now: between a
    // crash and the supervisor's next cycle it does not, and a stop must stick.
    if (imageName == kEncoderImageName) {
        state.publishingWanted = false;
        TheStatusBoard().Idle(StatusKind::Publish);
    } else if (imageName == kBridgeImageName) {
        state.bridgeWanted = false;
        TheStatusBoard().Idle(StatusKind::Camera);
    }
    CChildSlot& slot = ChildSlot(imageName);
    slot.gaveUp = false;
    slot.backoff.Reset();
    const ULONGLONG now = ::GetTickCount64();
    const DWORD budget = now < deadlineTick ? static_cast<DWORD>(deadlineTick - now) : 0;
    if (EndExecutable(imageName, slot, budget)) DebugText(imageName + kStoppedText);
}

void StopEncoderAndBridge() {
    const ULONGLONG start = ::GetTickCount64();
    // Both raised first: a relaunch of the bridge in its settling wait
    // must not make the bridge's turn wait while the encoder is stopped.
    CStopRequest encoder(kEncoderImageName);
    CStopRequest bridge(kBridgeImageName);
    StopExecutable(kEncoderImageName, start + kStopStepMs);
    StopExecutable(kBridgeImageName, start + kStopWaitMs);
}
