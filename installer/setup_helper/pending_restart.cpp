#include "installer/setup_helper/pending_restart.h"

#include "installer/setup_helper/process_image.h"

#include <windows.h>

namespace {

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// "\??\C:\x" (a "!" in front marks a replacement) -> "C:\x".
std::wstring Win32Path(std::wstring path) {
    if (!path.empty() && path[0] == L'!') path.erase(0, 1);
    if (path.compare(0, 4, L"\\??\\") == 0) path.erase(0, 4);
    return path;
}

}  // namespace

std::vector<std::wstring> PendingPathsIn(const std::wstring& multiString, const std::wstring& folder) {
    std::vector<std::wstring> found;
    const std::wstring prefix = NormalizedFolder(folder);
    if (prefix.empty()) return found;
    size_t start = 0;
    while (start < multiString.size()) {
        size_t end = multiString.find(L'\0', start);
        if (end == std::wstring::npos) end = multiString.size();
        const std::wstring path = Win32Path(multiString.substr(start, end - start));
        if (path.size() > prefix.size() && SameFileName(path.substr(0, prefix.size()), prefix)) found.push_back(path);
        start = end + 1;
    }
    return found;
}

std::vector<std::wstring> PendingOperationsIn(const std::wstring& folder) {
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                       &size) != ERROR_SUCCESS ||
        size == 0)
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, &text[0],
                       &size) != ERROR_SUCCESS)
        return {};
    text.resize(size / sizeof(wchar_t));
    return PendingPathsIn(text, folder);
}
