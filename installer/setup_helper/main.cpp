// QvPushSetupHelper.exe: what the installer and the uninstaller cannot do
// in their own script language.
//   stop <install folder>   ends a running QvPush (exit code 0 when nothing
//                           of it runs from that folder any more, 1 if not);
//                           as SYSTEM it asks the daemon through a copy of
//                           itself in the user's session first
//   askexit                 that copy: asks this desktop's daemons to exit
//   launch <program>        starts the daemon as the desktop's user, or
//                           not at all (exit code 0 either way, 1 when a
//                           start failed)
//   check <install folder> [registered]
//                           exit code 2 when the folder, or anything in it,
//                           is not ours, is a reparse point or belongs to
//                           an ordinary user ("registered": the folder
//                           Apps & Features records)
//   trusted <folder>        exit code 0 when an old copy's folder passes the
//                           check (as registered) and no object in it lets
//                           an ordinary user change it, 2 if not
//   pending <install folder>
//                           exit code 350 (ERROR_FAIL_NOACTION_REBOOT) while
//                           file operations queued for the next restart
//                           name something in that folder
//   trycamera <QvCamera.dll>
//                           exit code 0 when that copy of the camera
//                           registers itself, tried against a private
//                           registry (the machine's is not changed), 1 if
//                           it does not load or its registration fails
//   protect <folder>        gives the folder and everything in it Program
//                           Files' permissions
//   size <folder>           exit code: the size of the files in it, in KB
//                           (what NSIS's own GetSize would need a plug-in for)
// Each writes one line for the install log, in the user's language as the
// installer's pages are (Simplified Chinese or English), into
// QvPushSetupHelper.txt beside itself (UTF-16): the installer runs it
// without a plug-in, so nothing of it comes from a folder a user could
// have made first.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "installer/setup_helper/folder_security.h"
#include "installer/setup_helper/install_folder.h"
#include "installer/setup_helper/pending_restart.h"
#include "installer/setup_helper/registration_trial.h"
#include "installer/setup_helper/launch_as_desktop_user.h"
#include "installer/setup_helper/stop_running.h"

namespace {

const int kUsageExitCode = 2;
const int kForeignFilesExitCode = 2;
const int kRestartFirstExitCode = 350;  // ERROR_FAIL_NOACTION_REBOOT
const wchar_t kOutputName[] = L"QvPushSetupHelper.txt";

// One line, UTF-16 without a byte-order mark (NSIS's FileReadUTF16LE), in
// the file beside this program.
void PrintLine(const std::wstring& text) {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], MAX_PATH));
    path = path.substr(0, path.find_last_of(L'\\') + 1) + kOutputName;
    const std::wstring line = text + L"\r\n";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
}

// NSIS picks its pages' language the same way.
bool UserReadsChinese() { return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_CHINESE; }

const wchar_t* Say(const wchar_t* english, const wchar_t* chinese) { return UserReadsChinese() ? chinese : english; }

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], MAX_PATH));
    return path;
}

int Stop(const std::wstring& folder) {
    const StopReport report = StopRunningCopies(folder, L"\"" + OwnPath() + L"\" askexit");
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
    case LaunchRoute::SessionUserToken:
        PrintLine(Say(L"Started as the user logged on at the console (from SYSTEM): ",
                      L"已以控制台登录用户身份启动（从 SYSTEM）：") + program);
        return 0;
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
                      L"(setup runs as SYSTEM with no one logged on, or elevated with another account); it starts at "
                      L"the next log-on",
                      L"未启动：没有可用的桌面外壳程序，也没有桌面用户的未提升令牌（安装程序以 SYSTEM 运行且无人登录，"
                      L"或以其他账户提升运行）；下次登录时启动"));
        return 0;
    case LaunchRoute::Failed:
        break;
    }
    PrintLine(Say(L"Could not start ", L"无法启动 ") + program + L" (error " + std::to_wstring(outcome.error) + L")");
    return 1;
}

const wchar_t* Why(Refusal why) {
    switch (why) {
    case Refusal::ReparsePoint:
        return Say(L"a junction or link", L"联接或链接");
    case Refusal::Owner:
        return Say(L"owned by an ordinary user", L"属于普通用户");
    case Refusal::NotOurs:
        break;
    }
    return Say(L"not QvPush's", L"不属于 QvPush");
}

int Check(const std::wstring& folder, bool registered) {
    const std::vector<RefusedEntry> refused = CheckFolder(folder, registered);
    if (refused.empty()) {
        PrintLine(Say(L"The folder holds nothing but QvPush: ", L"文件夹中只有 QvPush 的文件：") + folder);
        return 0;
    }
    const std::wstring first = refused[0].relative.empty() ? folder : refused[0].relative;
    std::wstring line = Say(L"Refused: the folder is not QvPush's alone: ", L"拒绝安装：文件夹不只属于 QvPush：") +
                        folder + L" (" + first + L": " + Why(refused[0].why);
    if (refused.size() > 1) line += L", +" + std::to_wstring(refused.size() - 1);
    PrintLine(line + L")");
    return kForeignFilesExitCode;
}

int Trusted(const std::wstring& folder) {
    const std::vector<RefusedEntry> refused = CheckFolder(folder, true);
    std::wstring open;
    for (const FolderEntry& entry : ReadFolderEntries(folder)) {
        const std::wstring path = entry.relative.empty() ? folder : folder + L"\\" + entry.relative;
        if (!HasTrustedDacl(path)) {
            open = path;
            break;
        }
    }
    if (refused.empty() && open.empty()) {
        PrintLine(Say(L"The old copy's folder is QvPush's alone and protected: ", L"旧副本的文件夹只属于 QvPush 且受保护：") +
                  folder);
        return 0;
    }
    const std::wstring why = !refused.empty() ? (refused[0].relative.empty() ? folder : refused[0].relative) + L": " +
                                                    Why(refused[0].why)
                                              : open + L": " + Say(L"users may change it", L"普通用户可以修改");
    PrintLine(Say(L"The old copy's folder is not safe to run from: ", L"旧副本的文件夹不可安全运行程序：") + why);
    return kForeignFilesExitCode;
}

int Pending(const std::wstring& folder) {
    const std::vector<std::wstring> queued = PendingOperationsIn(folder);
    if (queued.empty()) {
        PrintLine(Say(L"No file operation waits for a restart in ", L"没有等待重启的文件操作：") + folder);
        return 0;
    }
    PrintLine(Say(L"Restart Windows first: a restart will still delete or replace ",
                  L"请先重启 Windows：重启时仍将删除或替换 ") + queued[0] +
              (queued.size() > 1 ? L", +" + std::to_wstring(queued.size() - 1) : std::wstring()));
    return kRestartFirstExitCode;
}

int TryCamera(const std::wstring& camera) {
    const std::wstring privateRoot =
        L"Software\\QvPush registration trial " + std::to_wstring(::GetCurrentProcessId());
    const RegistrationTrial trial = TryRegistration(camera, privateRoot);
    switch (trial.result) {
    case TrialResult::Registered:
        PrintLine(Say(L"The new camera registers (tried in a private registry): ",
                      L"新摄像头可以注册（已在私有注册表中试过）：") + camera);
        return 0;
    case TrialResult::NotLoaded:
    case TrialResult::NoEntryPoints:
        PrintLine(Say(L"The new camera does not load (error ", L"新摄像头无法加载（错误 ") +
                  std::to_wstring(trial.error) + L"): " + camera);
        return 1;
    case TrialResult::NoPrivateRegistry:
        PrintLine(Say(L"The new camera could not be tried: no private registry (error ",
                      L"无法试验新摄像头：无法建立私有注册表（错误 ") + std::to_wstring(trial.error) + L"): " + camera);
        return 1;
    case TrialResult::RegistrationFailed:
        break;
    }
    wchar_t code[16] = {};
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(trial.registration));
    PrintLine(Say(L"The new camera does not register (DllRegisterServer returned ",
                  L"新摄像头无法注册（DllRegisterServer 返回 ") + std::wstring(code) + L"): " + camera);
    return 1;
}

int Size(const std::wstring& folder) {
    ULONGLONG bytes = 0;
    for (const FolderEntry& entry : ReadFolderEntries(folder)) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (entry.directory || entry.reparsePoint ||
            !::GetFileAttributesExW((folder + L"\\" + entry.relative).c_str(), GetFileExInfoStandard, &data))
            continue;
        bytes += (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    const ULONGLONG kilobytes = (bytes + 1023) / 1024;
    PrintLine(Say(L"Installed size: ", L"安装大小：") + std::to_wstring(kilobytes) + L" KB");
    return static_cast<int>(kilobytes);
}

int Protect(const std::wstring& folder) {
    const DWORD error = ProtectFolder(folder);
    if (error == ERROR_SUCCESS) {
        PrintLine(Say(L"Permissions set on the folder and everything in it (administrators and SYSTEM full "
                      L"control, users read and run): ",
                      L"已设置文件夹及其全部内容的权限（管理员和 SYSTEM 完全控制，用户读取和运行）：") + folder);
        return 0;
    }
    PrintLine(Say(L"Could not set the permissions of ", L"无法设置权限：") + folder + L" (error " +
              std::to_wstring(error) + L")");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"stop") return Stop(argv[2]);
    if (argc == 2 && std::wstring(argv[1]) == L"askexit") {
        StopReport report;
        AskDaemonsToExit(report);
        return static_cast<int>(AskedExitCode(report));
    }
    if (argc == 3 && std::wstring(argv[1]) == L"launch") return Launch(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"check") return Check(argv[2], false);
    if (argc == 4 && std::wstring(argv[1]) == L"check" && std::wstring(argv[3]) == L"registered")
        return Check(argv[2], true);
    if (argc == 3 && std::wstring(argv[1]) == L"pending") return Pending(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"trusted") return Trusted(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"trycamera") return TryCamera(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"protect") return Protect(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"size") return Size(argv[2]);
    PrintLine(L"usage: QvPushSetupHelper stop <install folder> | launch <program> | "
              L"check <install folder> [registered] | trusted <folder> | pending <install folder> | trycamera <dll> | protect <folder> | "
              L"size <folder>");
    return kUsageExitCode;
}
