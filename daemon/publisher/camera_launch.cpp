#include "daemon/publisher/camera_launch.h"

#include "daemon/publisher/command_line_quoting.h"
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

void runCamera(std::wstring videoDevice, std::wstring audioDevice) {
    std::lock_guard<std::recursive_mutex> serialised(LaunchLock(kBridgeImageName));
    if (LaunchesClosed()) return;
    std::wstring arguments = BuildBridgeArguments(videoDevice, audioDevice);
    if (FindProcessByName(kBridgeImageName)) {
        DebugText(kFoundText + std::wstring(kBridgeImageName) + kKillingText);
        if (KillProcessesByName(kBridgeImageName)) DebugText(std::wstring(kKilledText));
    }
    std::wstring executable = OwnExecutablePath(kBridgeImageName);
    LaunchProcess(executable, arguments);
    ::Sleep(kSettleMs);
    if (!FindProcessByName(kBridgeImageName)) {
        DebugText(kProcessText + std::wstring(kBridgeImageName) + kNotFoundText);
        DebugText(std::wstring(kNotRunningText));
    }
    ThePublishState().bridgeWanted = true;
    DebugText(kBridgeImageName + std::wstring(kStartedText) + kCommandLineText + executable + arguments);
}
