#include "installer/setup_helper/launch_as_desktop_user.h"

#include "common/unique_handle.h"

#include <shellapi.h>
#include <userenv.h>
#include <wtsapi32.h>

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

// Owns an environment block made for a user.
class EnvironmentBlock {
public:
    explicit EnvironmentBlock(HANDLE token) {
        if (!::CreateEnvironmentBlock(&m_block, token, FALSE)) m_block = nullptr;
    }
    ~EnvironmentBlock() {
        if (m_block) ::DestroyEnvironmentBlock(m_block);
    }
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
    void* get() const { return m_block; }

private:
    void* m_block = nullptr;
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

std::vector<BYTE> TokenUserSid(HANDLE token) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(sid));
}

std::wstring SessionText(DWORD session, WTS_INFO_CLASS what) {
    LPWSTR text = nullptr;
    DWORD size = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &text, &size) || !text) return {};
    std::wstring copy = text;
    ::WTSFreeMemory(text);
    return copy;
}

// The account logged on in the session this process runs in.
std::vector<BYTE> SessionUserSid() {
    DWORD session = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return {};
    const std::wstring user = SessionText(session, WTSUserName);
    const std::wstring domain = SessionText(session, WTSDomainName);
    if (user.empty()) return {};
    const std::wstring account = domain.empty() ? user : domain + L"\\" + user;
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use;
    ::LookupAccountNameW(nullptr, account.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    std::vector<BYTE> sid(sidSize);
    std::wstring domainName(domainSize + 1, L'\0');
    if (sidSize == 0 ||
        !::LookupAccountNameW(nullptr, account.c_str(), sid.data(), &sidSize, &domainName[0], &domainSize, &use))
        return {};
    return sid;
}

// The console session's user, as SYSTEM: their primary token (the limited
// one of an administrator with UAC).
UniqueHandle ConsoleUserToken() {
    UniqueHandle token;
    HANDLE user = nullptr;
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF || !::WTSQueryUserToken(session, &user)) return token;
    UniqueHandle owned(user);
    ::DuplicateTokenEx(owned.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, token.put());
    return token;
}

// Ends the handles of a started process; false with the error when the
// start failed.
LaunchOutcome Started(LaunchRoute route, BOOL created, const PROCESS_INFORMATION& info) {
    if (!created) return {LaunchRoute::Failed, ::GetLastError()};
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    return {route, ERROR_SUCCESS};
}

// The unelevated shell of our desktop, opened for starting children; null
// when there is none or it runs elevated (UAC switched off): its children
// would run elevated.
UniqueHandle UnelevatedShell() {
    const HWND shellWindow = ::GetShellWindow();
    DWORD shellProcessId = 0;
    if (!shellWindow || !::GetWindowThreadProcessId(shellWindow, &shellProcessId) || shellProcessId == 0) return {};
    UniqueHandle shell(::OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     shellProcessId));
    UniqueHandle shellToken;
    if (!shell || !::OpenProcessToken(shell.get(), TOKEN_QUERY, shellToken.put()) || IsElevated(shellToken.get()))
        return {};
    return shell;
}

// A child of the shell's process takes the shell's token (the documented
// effect of PROC_THREAD_ATTRIBUTE_PARENT_PROCESS).
LaunchOutcome StartFromShell(HANDLE shell, const std::wstring& program) {
    AttributeList attributes(1);
    HANDLE parent = shell;
    if (!attributes.get() || !::UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                                                          &parent, sizeof(parent), nullptr, nullptr))
        return {LaunchRoute::Failed, ::GetLastError()};
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = attributes.get();
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    PROCESS_INFORMATION info = {};
    const BOOL created = ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                         EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.c_str(),
                                         &startup.StartupInfo, &info);
    return Started(LaunchRoute::ShellToken, created, info);
}

// Only a token elevated through UAC has an unelevated twin; SYSTEM's and
// an always-elevated account's tokens have none.
UniqueHandle UnelevatedLinkedToken() {
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, own.put())) return {};
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!::GetTokenInformation(own.get(), TokenElevationType, &type, sizeof(type), &size) ||
        type != TokenElevationTypeFull)
        return {};
    TOKEN_LINKED_TOKEN linked = {};
    if (!::GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) return {};
    UniqueHandle linkedToken(linked.LinkedToken);
    UniqueHandle primary;
    if (IsElevated(linkedToken.get()) ||
        !::DuplicateTokenEx(linkedToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                            primary.put()))
        return {};
    return primary;
}

// Starts a command line with `token` on the interactive desktop, with that
// user's environment.
BOOL StartWithToken(HANDLE token, const std::wstring& program, std::wstring commandLine, const std::wstring& folder,
                    PROCESS_INFORMATION& info) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = kInteractiveDesktop;
    EnvironmentBlock environment(token);
    const DWORD flags = environment.get() ? CREATE_UNICODE_ENVIRONMENT : 0;
    BOOL created = ::CreateProcessAsUserW(token, program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags,
                                          environment.get(), folder.c_str(), &startup, &info);
    // Without the privilege to assign a primary token, the secondary logon
    // service can still start it with ours.
    if (!created)
        created = ::CreateProcessWithTokenW(token, 0, program.c_str(), &commandLine[0], flags, environment.get(),
                                            folder.c_str(), &startup, &info);
    return created;
}

}  // namespace

LaunchRoute ChooseRoute(const DesktopFacts& facts) {
    if (facts.shellUnelevated) return LaunchRoute::ShellToken;
    if (facts.runsAsSystem) return facts.sessionUserToken ? LaunchRoute::SessionUserToken : LaunchRoute::NoRoute;
    if (facts.linkedTokenUnelevated && facts.linkedTokenIsSessionUser) return LaunchRoute::LinkedToken;
    return LaunchRoute::NoRoute;
}

bool RunsAsSystem() {
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, own.put())) return false;
    std::vector<BYTE> sid = TokenUserSid(own.get());
    return !sid.empty() && ::IsWellKnownSid(sid.data(), WinLocalSystemSid);
}

LaunchOutcome LaunchAsDesktopUser(const std::wstring& program) {
    DesktopFacts facts;
    UniqueHandle shell = UnelevatedShell();
    facts.shellUnelevated = static_cast<bool>(shell);
    facts.runsAsSystem = RunsAsSystem();
    UniqueHandle token;
    if (facts.runsAsSystem) {
        token = ConsoleUserToken();
        facts.sessionUserToken = static_cast<bool>(token);
    } else if (!facts.shellUnelevated) {
        token = UnelevatedLinkedToken();
        facts.linkedTokenUnelevated = static_cast<bool>(token);
        if (token) facts.linkedTokenIsSessionUser = TokenUserSid(token.get()) == SessionUserSid();
    }
    const LaunchRoute route = ChooseRoute(facts);
    if (route == LaunchRoute::ShellToken) return StartFromShell(shell.get(), program);
    if (route == LaunchRoute::NoRoute) return {LaunchRoute::NoRoute, ERROR_SUCCESS};
    PROCESS_INFORMATION info = {};
    const BOOL created =
        StartWithToken(token.get(), program, L"\"" + program + L"\"", FolderOf(program), info);
    return Started(route, created, info);
}

bool RunAsSessionUser(const std::wstring& commandLine, DWORD timeoutMs, DWORD& exitCode) {
    UniqueHandle token = ConsoleUserToken();
    if (!token) return false;
    std::wstring program(MAX_PATH, L'\0');
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!argv || argc < 1) return false;
    program = argv[0];
    ::LocalFree(argv);
    PROCESS_INFORMATION info = {};
    if (!StartWithToken(token.get(), program, commandLine, FolderOf(program), info)) return false;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) return false;
    return ::GetExitCodeProcess(process.get(), &exitCode) != FALSE;
}
