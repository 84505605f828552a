#include "daemon/picture/standby_bitmap.h"

#include <cstring>

namespace {

constexpr size_t kStandbyBytes = static_cast<size_t>(kStandbyWidth) * kStandbyHeight * 3;

std::vector<BYTE> LoadStandbyBytes() {
    std::vector<BYTE> pixels;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(kStandbyBitmapResource), RT_BITMAP);
    if (!found) return pixels;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    // The pixels are the last bytes, behind whatever header precedes them.
    if (data && size >= kStandbyBytes) pixels.assign(data + (size - kStandbyBytes), data + size);
    return pixels;
}

}  // namespace

const PictureView& StandbyPicture() {
    static const std::vector<BYTE> pixels = LoadStandbyBytes();
    static const PictureView view = pixels.empty()
        ? PictureView{}
        : PictureView{kStandbyWidth, kStandbyHeight, NamedFrameFormat::RGB24, kStandbyWidth * 3, pixels.data()};
    return view;
}
