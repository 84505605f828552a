#include "camera/filter/standby_picture.h"

#include <cstring>

#include "camera/filter/halve_image.h"

HMODULE ModuleOfThisCode() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &module);
    return module;
}

bool LoadStandbyPicture(HMODULE module, uint8_t* full) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(kStandbyBitmapId), RT_BITMAP);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    if (!loaded) return false;
    const DWORD size = ::SizeofResource(module, found);
    const void* data = ::LockResource(loaded);
    // The pixels are the last 921,600 bytes, whatever header precedes them;
    // a resource smaller than that has no picture to take.
    const bool usable = data && size >= kFullPictureBytes;
    if (usable) std::memcpy(full, static_cast<const uint8_t*>(data) + (size - kFullPictureBytes), kFullPictureBytes);
    ::FreeResource(loaded);
    return usable;
}
