#include "daemon/publisher/camera_launch.h"

#include "daemon/publisher/child_slot.h"
#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_gate.h"
#include "daemon/publisher/launch_lock.h"
#include "daemon/publisher/leftover_processes.h"
#include "daemon/publisher/output_watchers.h"
#include "daemon/publisher/own_directory.h"
#include "daemon/publisher/process_launch.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/output_lines.h"
#include "daemon/publisher/status_board.h"
#include "daemon/text/diagnostics.h"

#include <windows.h>

#include <vector>

namespace {

const wchar_t kFoundText[] = L"find ";
const wchar_t kKillingText[] = L"Process killing";
const wchar_t kKilledText[] = L"Process killing sucess";
const wchar_t kProcessText[] = L"进程：";
const wchar_t kNotFoundText[] = L"找不到";
const wchar_t kNotRunningText[] = L"OpenProcessEx_runCamera call faild";
const wchar_t kStartedText[] = L" start sucess ";
const wchar_t kCommandLineText[] = L"cmd_line: ";
const DWORD kSettleMs = 2000;

}  // namespace

std::wstring BuildBridgeArguments(const std::wstring& videoDevice, const std::wstring& audioDevice) {
    return L" -a \"" + EscapeQuotedValue(audioDevice, true) + L"\" -v \"" + EscapeQuotedValue(videoDevice, true) +
           L"\"";
}

namespace {

void LaunchBridge(const std::wstring& videoDevice, const std::wstring& audioDevice) {
    CChildSlot& slot = ChildSlot(kBridgeImageName);
    std::wstring arguments = BuildBridgeArguments(videoDevice, audioDevice);
    // Webcams are exclusive: the old bridge must be gone before a new one
    // opens the same camera.
    bool running = slot.process.Running();
    const std::vector<DWORD> leftovers = LeftoverProcesses(kBridgeImageName, 0);
    if (running || !leftovers.empty()) DebugText(kFoundText + std::wstring(kBridgeImageName) + kKillingText);
    if (EndExecutable(kBridgeImageName, slot, kStopWaitMs)) DebugText(std::wstring(kKilledText));
    std::wstring executable = OwnExecutablePath(kBridgeImageName);
    const unsigned generation =
        TheStatusBoard().Starting(StatusKind::Camera, 0, WideToUtf8Text(videoDevice), slot.backoff.Attempt());
    slot.lossSeen = false;
    LaunchWatched(executable, arguments, CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, BridgeOutputWatcher(generation),
                  slot.process);
    SettleAfterLaunch(kBridgeImageName, kSettleMs);
    if (!slot.process.Running()) {
        DebugText(kProcessText + std::wstring(kBridgeImageName) + kNotFoundText);
        DebugText(std::wstring(kNotRunningText));
    }
    ThePublishState().bridgeWanted = true;
    DebugText(kBridgeImageName + std::wstring(kStartedText) + kCommandLineText + executable + arguments);
}

}  // namespace

void runCamera(std::wstring videoDevice, std::wstring audioDevice) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kBridgeImageName));
    if (LaunchesClosed()) return;
    CChildSlot& slot = ChildSlot(kBridgeImageName);
    slot.backoff.Reset();
    slot.gaveUp = false;
    slot.commanded = true;
    LaunchBridge(videoDevice, audioDevice);
}

void RelaunchCamera(std::wstring videoDevice, std::wstring audioDevice) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kBridgeImageName));
    if (LaunchesClosed()) return;
    ChildSlot(kBridgeImageName).commanded = false;
    LaunchBridge(videoDevice, audioDevice);
}
