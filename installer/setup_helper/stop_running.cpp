#include "installer/setup_helper/stop_running.h"

#include "common/unique_handle.h"
#include "installer/setup_helper/launch_as_desktop_user.h"
#include "installer/setup_helper/process_image.h"

#include <windows.h>

namespace {

// What the daemon's hidden main dialog is called and which command its tray
// menu item sends: the exit sequence behind it stops the encoder and the
// bridge before the daemon ends.
const wchar_t kDialogClass[] = L"#32770";
const wchar_t kDaemonCaption[] = L"Kavo直播伴侣";
const wchar_t kDaemonImage[] = L"QvPushServer.exe";
const WPARAM kExitCommand = IDCANCEL;

// The daemon's exit removes its tray icon, which takes about 2 s under Wine.
const DWORD kGracefulWaitMs = 15000;
const DWORD kTerminateWaitMs = 5000;
const UINT kTerminatedExitCode = 1;

// Everything the daemon starts, and FFmpeg, which the encoder runs beside it.
const std::vector<std::wstring> kOurImages = {L"QvPushServer.exe", L"QvShow.exe", L"QvGraph.exe", L"ffmpeg.exe"};

struct DaemonWindows {
    std::vector<HWND> windows;
    std::vector<DWORD> processIds;
};

BOOL CALLBACK CollectDaemonWindow(HWND window, LPARAM context) {
    wchar_t className[16] = {};
    wchar_t caption[32] = {};
    if (!::GetClassNameW(window, className, 16) || wcscmp(className, kDialogClass) != 0) return TRUE;
    if (!::GetWindowTextW(window, caption, 32) || wcscmp(caption, kDaemonCaption) != 0) return TRUE;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    // Another program's dialog may carry the caption; only the daemon's own
    // main window knows the exit command.
    if (!SameFileName(FileNamePart(ProcessImagePath(processId)), kDaemonImage)) return TRUE;
    auto* found = reinterpret_cast<DaemonWindows*>(context);
    found->windows.push_back(window);
    found->processIds.push_back(processId);
    return TRUE;
}

// Waits for every process in `processIds` to end within one shared time
// limit; returns how many did.
int WaitForEnd(const std::vector<DWORD>& processIds, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    int ended = 0;
    for (DWORD processId : processIds) {
        UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (!process) {
            ++ended;  // already gone
            continue;
        }
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (::WaitForSingleObject(process.get(), left) == WAIT_OBJECT_0) ++ended;
    }
    return ended;
}

}  // namespace

void AskDaemonsToExit(StopReport& report) {
    // Every daemon is asked, wherever it runs from: only one copy can serve
    // the ports, and the one about to be started must be that copy.
    DaemonWindows daemons;
    ::EnumWindows(CollectDaemonWindow, reinterpret_cast<LPARAM>(&daemons));
    for (HWND window : daemons.windows) {
        if (::PostMessageW(window, WM_COMMAND, kExitCommand, 0)) ++report.daemonsAsked;
    }
    report.daemonsExited = WaitForEnd(daemons.processIds, kGracefulWaitMs);
}

DWORD AskedExitCode(const StopReport& report) {
    return static_cast<DWORD>(report.daemonsAsked & 0xFF) << 8 | static_cast<DWORD>(report.daemonsExited & 0xFF);
}

void FromAskedExitCode(DWORD exitCode, StopReport& report) {
    report.daemonsAsked = static_cast<int>(exitCode >> 8 & 0xFF);
    report.daemonsExited = static_cast<int>(exitCode & 0xFF);
}

StopReport StopRunningCopies(const std::wstring& installFolder, const std::wstring& askExit) {
    StopReport report;
    DWORD asked = 0;
    if (RunsAsSystem() && RunAsSessionUser(askExit, kGracefulWaitMs + 5000, asked)) {
        FromAskedExitCode(asked, report);
    } else {
        AskDaemonsToExit(report);
    }

    const std::wstring folder = NormalizedFolder(installFolder);
    std::vector<DWORD> leftovers = ProcessesStartedFrom(folder, kOurImages);
    for (DWORD processId : leftovers) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
        if (process && ::TerminateProcess(process.get(), kTerminatedExitCode)) ++report.terminated;
    }
    WaitForEnd(leftovers, kTerminateWaitMs);
    for (DWORD processId : ProcessesStartedFrom(folder, kOurImages)) {
        report.stillRunning.push_back(FileNamePart(ProcessImagePath(processId)));
    }
    return report;
}
