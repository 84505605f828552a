// QvPushSetupHelper.exe: what the installer and the uninstaller cannot do
// in their own script language.
//   stop <install folder>   ends a running QvPush (exit code 0 when nothing
//                           of it runs from that folder any more, 1 if not)
//   launch <program>        starts the daemon as the desktop's user
// Each prints one line for the install log.
#include <windows.h>

#include <cstdio>
#include <string>

#include "installer/setup_helper/launch_as_desktop_user.h"
#include "installer/setup_helper/stop_running.h"

namespace {

const int kUsageExitCode = 2;

// The installer reads our output as text of the ANSI code page.
void PrintLine(const std::wstring& text) {
    const std::wstring line = text + L"\r\n";
    const int size = ::WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(size, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

int Stop(const std::wstring& folder) {
    const StopReport report = StopRunningCopies(folder);
    std::wstring line = L"Running copies: " + std::to_wstring(report.daemonsAsked) + L" daemon(s) asked to exit, " +
                        std::to_wstring(report.daemonsExited) + L" exited, " + std::to_wstring(report.terminated) +
                        L" process(es) from the install folder terminated";
    for (const std::wstring& image : report.stillRunning) line += L"; still running: " + image;
    PrintLine(line);
    return report.stillRunning.empty() ? 0 : 1;
}

int Launch(const std::wstring& program) {
    switch (LaunchAsDesktopUser(program)) {
    case LaunchResult::AsDesktopUser:
        PrintLine(L"Started " + program + L" as the desktop user");
        return 0;
    case LaunchResult::WithOwnRights:
        PrintLine(L"Started " + program + L" (no desktop shell to start it from)");
        return 0;
    case LaunchResult::Failed:
        break;
    }
    PrintLine(L"Could not start " + program + L" (error " + std::to_wstring(::GetLastError()) + L")");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"stop") return Stop(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"launch") return Launch(argv[2]);
    PrintLine(L"usage: QvPushSetupHelper stop <install folder> | launch <program>");
    return kUsageExitCode;
}
