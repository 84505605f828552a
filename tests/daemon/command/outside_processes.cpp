#include "tests/daemon/command/outside_processes.h"

#include "common/unique_handle.h"

#include "daemon/publisher/process_list.h"

int CountProcesses(const std::wstring& imageName) { return static_cast<int>(ProcessIdsByName(imageName).size()); }

void KillProcesses(const std::wstring& imageName) {
    for (DWORD id : ProcessIdsByName(imageName)) {
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
