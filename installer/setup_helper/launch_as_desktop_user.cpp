#include "installer/setup_helper/launch_as_desktop_user.h"

#include "common/unique_handle.h"

#include <vector>

namespace {

// Owns an initialised attribute list.
class AttributeList {
public:
    explicit AttributeList(DWORD count) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, count, 0, &size);
        m_storage.resize(size);
        m_list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (!::InitializeProcThreadAttributeList(m_list, count, 0, &size)) m_list = nullptr;
    }
    ~AttributeList() {
        if (m_list) ::DeleteProcThreadAttributeList(m_list);
    }
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return m_list; }

private:
    std::vector<BYTE> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

wchar_t kInteractiveDesktop[] = L"winsta0\\default";

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsElevated(HANDLE token) {
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    // A token we cannot read counts as elevated: it is never used then.
    return !::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) ||
           elevation.TokenIsElevated != 0;
}

// Ends the handles of a started process; false with the error when the
// start failed.
LaunchOutcome Started(LaunchRoute route, BOOL created, const PROCESS_INFORMATION& info) {
    if (!created) return {LaunchRoute::Failed, ::GetLastError()};
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    return {route, ERROR_SUCCESS};
}

// A child of the shell's process takes the shell's token (the documented
// effect of PROC_THREAD_ATTRIBUTE_PARENT_PROCESS). An elevated shell (UAC
// switched off) is no route: its children would run elevated.
bool TryShellRoute(const std::wstring& program, LaunchOutcome& outcome) {
    const HWND shellWindow = ::GetShellWindow();
    DWORD shellProcessId = 0;
    if (!shellWindow || !::GetWindowThreadProcessId(shellWindow, &shellProcessId) || shellProcessId == 0) return false;
    UniqueHandle shell(::OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     shellProcessId));
    UniqueHandle shellToken;
    if (!shell || !::OpenProcessToken(shell.get(), TOKEN_QUERY, shellToken.put()) || IsElevated(shellToken.get()))
        return false;
    AttributeList attributes(1);
    HANDLE parent = shell.get();
    if (!attributes.get() || !::UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                                                          &parent, sizeof(parent), nullptr, nullptr))
        return false;
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = attributes.get();
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    PROCESS_INFORMATION info = {};
    const BOOL created = ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                         EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.c_str(),
                                         &startup.StartupInfo, &info);
    outcome = Started(LaunchRoute::ShellToken, created, info);
    return true;
}

// Only a token elevated through UAC has an unelevated twin of the same
// user; SYSTEM's and an always-elevated account's tokens have none.
bool TryLinkedTokenRoute(const std::wstring& program, LaunchOutcome& outcome) {
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, own.put())) return false;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!::GetTokenInformation(own.get(), TokenElevationType, &type, sizeof(type), &size) ||
        type != TokenElevationTypeFull)
        return false;
    TOKEN_LINKED_TOKEN linked = {};
    if (!::GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) return false;
    UniqueHandle linkedToken(linked.LinkedToken);
    UniqueHandle primary;
    if (IsElevated(linkedToken.get()) ||
        !::DuplicateTokenEx(linkedToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                            primary.put()))
        return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = kInteractiveDesktop;
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    PROCESS_INFORMATION info = {};
    BOOL created = ::CreateProcessAsUserW(primary.get(), program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                          nullptr, folder.c_str(), &startup, &info);
    // Without the privilege to assign a primary token, the secondary logon
    // service can still start it with ours.
    if (!created)
        created = ::CreateProcessWithTokenW(primary.get(), 0, program.c_str(), &commandLine[0], 0, nullptr,
                                            folder.c_str(), &startup, &info);
    outcome = Started(LaunchRoute::LinkedToken, created, info);
    return true;
}

}  // namespace

LaunchOutcome LaunchAsDesktopUser(const std::wstring& program) {
    LaunchOutcome outcome;
    if (TryShellRoute(program, outcome) && outcome.route != LaunchRoute::Failed) return outcome;
    LaunchOutcome linked;
    if (TryLinkedTokenRoute(program, linked)) return linked;
    return outcome;
}
