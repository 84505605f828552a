#include "tools/demo_devices/common/bmp_picture.h"

#include <cstring>

#include "common/unique_handle.h"

namespace {
constexpr LONG kMaxSide = 4096;
constexpr DWORD kMaxFileBytes = 64u << 20;
}  // namespace

std::wstring LoadBmpPicture(const std::wstring& path, BgrPicture* picture) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return L"cannot open " + path + L" (error " + std::to_wstring(::GetLastError()) + L")";
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileBytes) return path + L" is too large";
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return L"cannot read " + path;

    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER info;
    if (bytes.size() < sizeof fileHeader + sizeof info) return path + L" is not a BMP file";
    std::memcpy(&fileHeader, bytes.data(), sizeof fileHeader);
    std::memcpy(&info, bytes.data() + sizeof fileHeader, sizeof info);
    if (fileHeader.bfType != 0x4D42 || info.biSize < sizeof info) return path + L" is not a BMP file";
    if (info.biBitCount != 24 || info.biCompression != BI_RGB || info.biPlanes != 1)
        return path + L" is not an uncompressed 24-bit BMP";
    const bool bottomUp = info.biHeight > 0;
    const LONG width = info.biWidth;
    const LONG height = bottomUp ? info.biHeight : -info.biHeight;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return path + L": the picture must be 1 to 4096 pixels wide and high";
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
    if (fileHeader.bfOffBits > bytes.size() || bytes.size() - fileHeader.bfOffBits < stride * height)
        return path + L" is cut short";

    picture->width = width;
    picture->height = height;
    picture->pixels.resize(static_cast<size_t>(width) * height * 3);
    for (LONG y = 0; y < height; ++y) {
        const LONG fileRow = bottomUp ? height - 1 - y : y;
        std::memcpy(picture->Row(y), bytes.data() + fileHeader.bfOffBits + stride * fileRow,
                    static_cast<size_t>(width) * 3);
    }
    return std::wstring();
}
