#include "daemon/publisher/process_list.h"

#include "common/unique_handle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <functional>

namespace {

// Visits every matching entry until the visitor returns false; true when
// any entry matched. A process list that cannot be read matches nothing.
bool WalkMatches(const std::wstring& imageName, const std::function<bool(DWORD)>& visit) {
    HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return false;
    UniqueHandle snapshot(raw);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool matched = false;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        // Code unit for code unit and of the same length: no case folding.
        if (imageName != entry.szExeFile) continue;
        matched = true;
        if (!visit(entry.th32ProcessID)) break;
    }
    return matched;
}

}  // namespace

std::vector<unsigned long> ProcessIdsByName(const std::wstring& imageName) {
    std::vector<unsigned long> ids;
    WalkMatches(imageName, [&ids](DWORD processId) {
        ids.push_back(processId);
        return true;
    });
    return ids;
}
