#include "daemon/publisher/leftover_processes.h"

#include "common/child_exit_codes.h"
#include "common/unique_handle.h"
#include "daemon/publisher/own_directory.h"
#include "daemon/publisher/process_list.h"

namespace {

std::wstring ImagePath(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process, 0, &path[0], &size)) return std::wstring();
    path.resize(size);
    return path;
}

// Without "." or ".." parts, as the process list reports images.
std::wstring FullPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return full;
}

// Windows file names ignore case.
bool SameDirectory(const std::wstring& imagePath, const std::wstring& directory) {
    const size_t cut = imagePath.rfind(L'\\');
    if (cut == std::wstring::npos || cut != directory.size()) return false;
    return ::CompareStringOrdinal(imagePath.c_str(), static_cast<int>(cut), directory.c_str(),
                                  static_cast<int>(directory.size()), TRUE) == CSTR_EQUAL;
}

DWORD OwnSession() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

// An open handle of a leftover, or none.
UniqueHandle OpenLeftover(DWORD id, const std::wstring& directory, DWORD session) {
    DWORD theirs = 0;
    if (!::ProcessIdToSessionId(id, &theirs) || theirs != session) return UniqueHandle();
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process || !SameDirectory(ImagePath(process.get()), directory)) return UniqueHandle();
    return process;
}

}  // namespace

std::vector<DWORD> LeftoverProcesses(const std::wstring& imageName, DWORD ownId) {
    const std::wstring directory = FullPath(OwnDirectory());
    const DWORD session = OwnSession();
    std::vector<DWORD> found;
    for (DWORD id : ProcessIdsByName(imageName))
        if (id != ownId && OpenLeftover(id, directory, session)) found.push_back(id);
    return found;
}

bool EndLeftovers(const std::wstring& imageName, DWORD ownId, DWORD timeoutMs) {
    const std::wstring directory = FullPath(OwnDirectory());
    const DWORD session = OwnSession();
    std::vector<UniqueHandle> ended;
    for (DWORD id : ProcessIdsByName(imageName)) {
        if (id == ownId) continue;
        UniqueHandle process = OpenLeftover(id, directory, session);
        if (!process) continue;
        ::TerminateProcess(process.get(), kExitKilledByDaemon);
        ended.push_back(std::move(process));
    }
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (const UniqueHandle& process : ended) {
        const ULONGLONG now = ::GetTickCount64();
        ::WaitForSingleObject(process.get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    }
    return !ended.empty();
}
