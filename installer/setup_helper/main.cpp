// QvPushSetupHelper.exe: what the installer and the uninstaller cannot do
// in their own script language.
//   stop <install folder>   ends a running QvPush (exit code 0 when nothing
//                           of it runs from that folder any more, 1 if not)
//   launch <program>        starts the daemon as the desktop's user, or
//                           not at all (exit code 0 either way, 1 when a
//                           start failed)
//   check <install folder> [registered]
//                           exit code 2 when the folder holds files that
//                           are not ours ("registered": the folder Apps &
//                           Features records)
//   protect <folder>        gives the folder Program Files' permissions
// Each prints one line for the install log, in the user's language as the
// installer's pages are (Simplified Chinese or English).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "installer/setup_helper/install_folder.h"
#include "installer/setup_helper/launch_as_desktop_user.h"
#include "installer/setup_helper/stop_running.h"

namespace {

const int kUsageExitCode = 2;
const int kForeignFilesExitCode = 2;

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

// NSIS picks its pages' language the same way.
bool UserReadsChinese() { return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_CHINESE; }

const wchar_t* Say(const wchar_t* english, const wchar_t* chinese) { return UserReadsChinese() ? chinese : english; }

int Stop(const std::wstring& folder) {
    const StopReport report = StopRunningCopies(folder);
    std::wstring line = Say(L"Running copies: ", L"正在运行的副本：") + std::to_wstring(report.daemonsAsked) +
                        Say(L" daemon(s) asked to exit, ", L" 个服务程序被要求退出，") +
                        std::to_wstring(report.daemonsExited) + Say(L" exited, ", L" 个已退出，") +
                        std::to_wstring(report.terminated) +
                        Say(L" process(es) from the install folder terminated", L" 个安装文件夹中的进程被终止");
    for (const std::wstring& image : report.stillRunning) line += Say(L"; still running: ", L"；仍在运行：") + image;
    PrintLine(line);
    return report.stillRunning.empty() ? 0 : 1;
}

int Launch(const std::wstring& program) {
    const LaunchOutcome outcome = LaunchAsDesktopUser(program);
    switch (outcome.route) {
    case LaunchRoute::ShellToken:
        PrintLine(Say(L"Started as the desktop user (with the shell's token): ",
                      L"已以桌面用户身份启动（使用外壳程序的令牌）：") + program);
        return 0;
    case LaunchRoute::LinkedToken:
        PrintLine(Say(L"Started as the desktop user (with the setup's unelevated linked token): ",
                      L"已以桌面用户身份启动（使用安装程序关联的未提升令牌）：") + program);
        return 0;
    case LaunchRoute::NoRoute:
        PrintLine(Say(L"Not started: no desktop shell to start it from and no unelevated token of the desktop user "
                      L"(setup runs as SYSTEM or as another account); it starts at the next log-on",
                      L"未启动：没有可用的桌面外壳程序，也没有桌面用户的未提升令牌（安装程序以 SYSTEM 或其他账户运行）；"
                      L"下次登录时启动"));
        return 0;
    case LaunchRoute::Failed:
        break;
    }
    PrintLine(Say(L"Could not start ", L"无法启动 ") + program + L" (error " + std::to_wstring(outcome.error) + L")");
    return 1;
}

int Check(const std::wstring& folder, bool registered) {
    const std::vector<std::wstring> foreign = ForeignFiles(folder, registered);
    if (foreign.empty()) {
        PrintLine(Say(L"The folder holds nothing but QvPush: ", L"文件夹中只有 QvPush 的文件：") + folder);
        return 0;
    }
    std::wstring line = Say(L"Refused: files that are not QvPush's in ", L"拒绝安装：文件夹中有不属于 QvPush 的文件：") +
                        folder + L" (" + foreign[0];
    if (foreign.size() > 1) line += L", +" + std::to_wstring(foreign.size() - 1);
    PrintLine(line + L")");
    return kForeignFilesExitCode;
}

int Protect(const std::wstring& folder) {
    const DWORD error = ProtectFolder(folder);
    if (error == ERROR_SUCCESS) {
        PrintLine(Say(L"Permissions set (administrators and SYSTEM full control, users read and run): ",
                      L"已设置权限（管理员和 SYSTEM 完全控制，用户读取和运行）：") + folder);
        return 0;
    }
    PrintLine(Say(L"Could not set the permissions of ", L"无法设置权限：") + folder + L" (error " +
              std::to_wstring(error) + L")");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"stop") return Stop(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"launch") return Launch(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"check") return Check(argv[2], false);
    if (argc == 4 && std::wstring(argv[1]) == L"check" && std::wstring(argv[3]) == L"registered")
        return Check(argv[2], true);
    if (argc == 3 && std::wstring(argv[1]) == L"protect") return Protect(argv[2]);
    PrintLine(L"usage: QvPushSetupHelper stop <install folder> | launch <program> | "
              L"check <install folder> [registered] | protect <folder>");
    return kUsageExitCode;
}
