#include "daemon/publisher/encoder_launch.h"

#include "daemon/publisher/encoder_presets.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_gate.h"
#include "daemon/publisher/launch_lock.h"
#include "daemon/publisher/own_directory.h"
#include "daemon/publisher/process_launch.h"
#include "daemon/publisher/process_list.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/text/diagnostics.h"

#include <windows.h>

namespace {

const wchar_t kKilledText[] = L"杀进程成功!\r\n";
const wchar_t kLaunchCalledText[] = L"OpenProcessEx_RunPublish call\r\n";
const wchar_t kNotRunningText[] = L"OpenProcessEx_RunPublish process start faild\r\n";
const wchar_t kStartedText[] = L" start sucess ,cmd_line:";
const wchar_t kStoppedText[] = L" stop sucess";
const DWORD kSettleMs = 1000;

}  // namespace

void RunPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kEncoderImageName));
    // Checked under the lock: an exit that closed the launches meanwhile
    // stops, under the same lock, whatever was started before.
    if (LaunchesClosed()) return;
    PublishState& state = ThePublishState();
    std::wstring executable = OwnExecutablePath(kEncoderImageName);
    std::wstring arguments = BuildEncoderArguments(state.GetPushLevel(), videoDevice, audioDevice, streamUrl);

    if (FindProcessByName(kEncoderImageName)) {
        KillProcessesByName(kEncoderImageName);
        DebugText(std::wstring(kKilledText));
    }
    LaunchWithOutputPipe(executable, arguments);
    DebugText(std::wstring(kLaunchCalledText));
    ::Sleep(kSettleMs);
    if (!FindProcessByName(kEncoderImageName)) DebugText(std::wstring(kNotRunningText));
    state.publishingWanted = true;
    DebugText(kEncoderImageName + std::wstring(kStartedText) + executable + arguments);
}

void StopExecutable(std::wstring imageName) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(imageName));
    PublishState& state = ThePublishState();
    // The flag goes whether or not the executable runs right now: between a
    // crash and the supervisor's next cycle it does not, and a stop must stick.
    if (imageName == kEncoderImageName) {
        state.publishingWanted = false;
    } else if (imageName == kBridgeImageName) {
        state.bridgeWanted = false;
    }
    if (!FindProcessByName(imageName)) return;
    KillProcessesByName(imageName);
    DebugText(imageName + kStoppedText);
}
