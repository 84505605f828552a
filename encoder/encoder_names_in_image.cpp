#include "encoder/encoder_names_in_image.h"

#include "common/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

struct ImageScan {
    bool readable = false;      // the file could be mapped and read
    bool namesLibx264 = false;  // the encoder the daemon's templates need
    bool namesLibaacplus = false;
    bool importsAvcodec = false;
};

bool Contains(const char* begin, const char* end, const std::string& text) {
    return std::search(begin, end, std::boyer_moore_horspool_searcher<std::string::const_iterator>(
                                       text.begin(), text.end())) != end;
}

ImageScan Scan(const std::wstring& path) {
    ImageScan scan;
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return scan;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0 || size.QuadPart > 0x40000000) return scan;
    UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return scan;
    const void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (!view) return scan;
    const char* begin = static_cast<const char*>(view);
    const char* end = begin + size.QuadPart;
    scan.readable = true;
    scan.namesLibx264 = Contains(begin, end, "libx264");
    scan.namesLibaacplus = Contains(begin, end, "libaacplus");
    scan.importsAvcodec = Contains(begin, end, "avcodec-");
    ::UnmapViewOfFile(view);
    return scan;
}

std::vector<std::wstring> AvcodecDllsBeside(const std::wstring& ffmpegPath) {
    const std::wstring dir = ffmpegPath.substr(0, ffmpegPath.find_last_of(L'\\') + 1);
    std::vector<std::wstring> dlls;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((dir + L"avcodec-*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return dlls;
    do dlls.push_back(dir + found.cFileName);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return dlls;
}

}  // namespace

bool ImageShowsNoLibaacplus(const std::wstring& ffmpegPath) {
    const ImageScan program = Scan(ffmpegPath);
    if (!program.readable || program.namesLibaacplus) return false;
    bool namesLibx264 = program.namesLibx264;
    const std::vector<std::wstring> dlls = AvcodecDllsBeside(ffmpegPath);
    // A shared build whose codec library is not beside it (found on PATH)
    // keeps its encoder names where we do not look.
    if (program.importsAvcodec && dlls.empty()) return false;
    for (const auto& dll : dlls) {
        const ImageScan library = Scan(dll);
        if (!library.readable || library.namesLibaacplus) return false;
        namesLibx264 = namesLibx264 || library.namesLibx264;
    }
    // A packed or compressed image shows no names at all; only one that
    // shows libx264 shows its encoder names plainly enough to trust the
    // absence of libaacplus.
    return namesLibx264;
}
