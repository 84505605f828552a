#include "daemon/publisher/own_directory.h"

#include "daemon/text/text_conversion.h"

#include <windows.h>

std::wstring OwnDirectory() {
    char path[256] = {};
    ::GetModuleFileNameA(nullptr, path, 255);
    std::string directory(path);
    size_t cut = directory.rfind('\\');
    if (cut != std::string::npos) directory.resize(cut);
    return NarrowToWide(directory);
}

std::wstring OwnExecutablePath(const std::wstring& imageName) { return OwnDirectory() + L"\\" + imageName; }
