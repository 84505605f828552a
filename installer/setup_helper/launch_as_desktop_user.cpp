#include "installer/setup_helper/launch_as_desktop_user.h"

#include "common/unique_handle.h"

#include <windows.h>

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

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool Start(const std::wstring& program, STARTUPINFOW* startup, DWORD flags) {
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), startup, &info))
        return false;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    return true;
}

// A child of the shell's process takes the shell's token (the documented
// effect of PROC_THREAD_ATTRIBUTE_PARENT_PROCESS), so it runs unelevated.
bool StartUnderShell(const std::wstring& program) {
    const HWND shellWindow = ::GetShellWindow();
    DWORD shellProcessId = 0;
    if (!shellWindow || !::GetWindowThreadProcessId(shellWindow, &shellProcessId) || shellProcessId == 0) return false;
    UniqueHandle shell(::OpenProcess(PROCESS_CREATE_PROCESS, FALSE, shellProcessId));
    if (!shell) return false;
    AttributeList attributes(1);
    HANDLE parent = shell.get();
    if (!attributes.get() || !::UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                                                          &parent, sizeof(parent), nullptr, nullptr))
        return false;
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = attributes.get();
    return Start(program, &startup.StartupInfo, EXTENDED_STARTUPINFO_PRESENT);
}

}  // namespace

LaunchResult LaunchAsDesktopUser(const std::wstring& program) {
    if (StartUnderShell(program)) return LaunchResult::AsDesktopUser;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return Start(program, &startup, 0) ? LaunchResult::WithOwnRights : LaunchResult::Failed;
}
