// uninstall.exe: what Apps & Features and administrators run. The NSIS
// uninstaller beside it (uninstall.dat) would copy itself to the temporary
// folder, start that copy and return at once, so that a deployment tool
// saw exit code 0 before anything was removed and never saw 2 or 3010.
// This program does that copy itself, into a folder that only
// administrators can change (the temporary folder of SYSTEM is one a
// standard user can create first), runs it there for this folder and waits
// for it, and exits with its exit code.
//
// It moves itself out of the install folder while it waits (a running
// program can be renamed on the same volume), so that the folder can go;
// where that fails, the uninstaller queues this file for the next restart.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/quote_argument.h"
#include "common/unique_handle.h"
#include "installer/setup_helper/folder_security.h"

namespace {

const wchar_t kCore[] = L"uninstall.dat";
const wchar_t kCoreCopy[] = L"uninstall-run.exe";
const wchar_t kOwnCopy[] = L"uninstall.exe";
const int kFailedExitCode = 2;

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// Our own arguments without a "_?=" (NSIS's in-place switch, which an older
// installer passes and which must come last): the folder is always ours.
std::wstring PassedArguments() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::wstring passed;
    for (int i = 1; arguments && i < count; ++i) {
        const std::wstring argument = arguments[i];
        if (argument.compare(0, 3, L"_?=") == 0) continue;
        // NSIS reads its switches (/S) plain.
        passed += (argument.find_first_of(L" \t\"") == std::wstring::npos ? argument : QuoteArgument(argument)) + L" ";
    }
    if (arguments) ::LocalFree(arguments);
    return passed;
}

// Where the private folder goes: below the Windows folder's own temporary
// folder for SYSTEM when the system has one that only administrators can
// change, else below SYSTEM's profile, which only they can.
std::wstring PrivateParent() {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring systemTemp = std::wstring(windows) + L"\\SystemTemp";
    const DWORD attributes = ::GetFileAttributesW(systemTemp.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return systemTemp;
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\config\\systemprofile\\AppData\\Local\\Temp";
}

bool CreateFolders(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2) CreateFolders(path.substr(0, slash));
    return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

int wmain() {
    const std::wstring self = ModulePath();
    const std::wstring folder = FolderOf(self);
    const std::wstring parent = PrivateParent();
    CreateFolders(parent);
    DWORD error = ERROR_SUCCESS;
    const std::wstring work = CreatePrivateFolder(parent, L"QvPushUninstall-", error);
    if (work.empty()) return kFailedExitCode;
    const std::wstring core = work + L"\\" + kCoreCopy;
    if (!::CopyFileW((folder + L"\\" + kCore).c_str(), core.c_str(), FALSE)) {
        RemoveFolderTree(work);
        return kFailedExitCode;
    }
    // A current folder inside the install folder would keep it from going.
    ::SetCurrentDirectoryW(work.c_str());
    const std::wstring movedSelf = work + L"\\" + kOwnCopy;
    const bool moved = ::MoveFileExW(self.c_str(), movedSelf.c_str(), 0) != FALSE;

    std::wstring commandLine = QuoteArgument(core) + L" " + PassedArguments() + L"_?=" + folder;
    // The uninstaller's own plug-in folder goes below ours.
    ::SetEnvironmentVariableW(L"TEMP", work.c_str());
    ::SetEnvironmentVariableW(L"TMP", work.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    DWORD exitCode = kFailedExitCode;
    if (::CreateProcessW(core.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, work.c_str(), &startup,
                         &info)) {
        UniqueHandle process(info.hProcess);
        UniqueHandle thread(info.hThread);
        ::WaitForSingleObject(process.get(), INFINITE);
        ::GetExitCodeProcess(process.get(), &exitCode);
    }
    // A refused or failed uninstallation leaves the installation as it was.
    const DWORD attributes = ::GetFileAttributesW((folder + L"\\" + kCore).c_str());
    if (moved && attributes != INVALID_FILE_ATTRIBUTES) ::MoveFileExW(movedSelf.c_str(), self.c_str(), 0);
    ::DeleteFileW(core.c_str());
    RemoveFolderTree(work);
    return static_cast<int>(exitCode);
}
