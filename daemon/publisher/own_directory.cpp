#include "daemon/publisher/own_directory.h"

#include <windows.h>

std::wstring OwnDirectory() {
    // Wide and as long as the system allows: an install folder outside code
    // page 936, or deeper than MAX_PATH, must work as any other.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) break;
        path.resize(path.size() * 2);
    }
    const size_t cut = path.rfind(L'\\');
    if (cut != std::wstring::npos) path.resize(cut);
    return path;
}

std::wstring OwnExecutablePath(const std::wstring& imageName) { return OwnDirectory() + L"\\" + imageName; }
