#include "tests/daemon/command/outside_processes.h"

#include "daemon/publisher/process_list.h"
#include "tests/support/child_process.h"

int CountProcesses(const std::wstring& imageName) { return static_cast<int>(ProcessIdsByName(imageName).size()); }

bool StartDetached(const std::wstring& path) { return static_cast<bool>(StartProgram(path)); }

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(50);
    }
}

bool HoldsThroughout(const std::function<bool()>& condition, DWORD windowMs) {
    return !WaitUntil([&condition] { return !condition(); }, windowMs);
}
