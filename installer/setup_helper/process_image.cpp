#include "installer/setup_helper/process_image.h"

#include "common/unique_handle.h"

#include <tlhelp32.h>

std::wstring ProcessImagePath(DWORD processId) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return std::wstring();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(path.size());
        if (::QueryFullProcessImageNameW(process.get(), 0, &path[0], &length)) {
            path.resize(length);
            return path;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768) return std::wstring();
        path.resize(path.size() * 2);
    }
}

std::wstring FileNamePart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring NormalizedFolder(const std::wstring& folder) {
    std::wstring full(32768, L'\0');
    DWORD length = ::GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0 || length >= full.size()) return std::wstring();
    full.resize(length);
    // A short (8.3) spelling would never match the long image paths the
    // system reports; a folder that no longer exists keeps its spelling.
    std::wstring longForm(32768, L'\0');
    length = ::GetLongPathNameW(full.c_str(), &longForm[0], static_cast<DWORD>(longForm.size()));
    if (length != 0 && length < longForm.size()) {
        longForm.resize(length);
        full = longForm;
    }
    while (!full.empty() && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full + L'\\';
}

std::vector<DWORD> ProcessesStartedFrom(const std::wstring& folder, const std::vector<std::wstring>& imageNames) {
    std::vector<DWORD> found;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        bool named = false;
        for (const std::wstring& name : imageNames) named = named || SameFileName(name, entry.szExeFile);
        if (!named) continue;
        const std::wstring image = ProcessImagePath(entry.th32ProcessID);
        const size_t split = image.find_last_of(L'\\');
        if (split == std::wstring::npos) continue;
        if (SameFileName(image.substr(0, split + 1), folder)) found.push_back(entry.th32ProcessID);
    }
    return found;
}
