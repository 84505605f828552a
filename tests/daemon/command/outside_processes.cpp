#include "tests/daemon/command/outside_processes.h"

#include "common/unique_handle.h"

#include <tlhelp32.h>

#include <vector>

namespace {

std::vector<DWORD> ProcessIds(const std::wstring& imageName) {
    std::vector<DWORD> ids;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (imageName == entry.szExeFile) ids.push_back(entry.th32ProcessID);
    return ids;
}

}  // namespace

int CountProcesses(const std::wstring& imageName) { return static_cast<int>(ProcessIds(imageName).size()); }

void KillProcesses(const std::wstring& imageName) {
    for (DWORD id : ProcessIds(imageName)) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process) continue;
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

bool StartDetached(const std::wstring& path) {
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(50);
    }
}
