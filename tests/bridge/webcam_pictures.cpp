#include "tests/bridge/webcam_pictures.h"

#include <algorithm>
#include <cmath>

#include "bridge/picture_fit.h"

namespace {

uint8_t Clamp(int v) { return static_cast<uint8_t>(std::min(255, std::max(0, v))); }

void ToYuv(const uint8_t* bgr, uint8_t& y, uint8_t& u, uint8_t& v) {
    const int b = bgr[0], g = bgr[1], r = bgr[2];
    y = Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    u = Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    v = Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

}  // namespace

RgbPicture MakeQuadrantPicture(int width, int height) {
    static const uint8_t kQuadrants[4][3] = {{40, 40, 200}, {40, 190, 60}, {200, 60, 40}, {150, 150, 150}};
    RgbPicture picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int bx = x & ~1, by = y & ~1;
            const uint8_t* base = kQuadrants[(by * 2 >= height ? 2 : 0) + (bx * 2 >= width ? 1 : 0)];
            const int shade = (bx * 40 / width) + (by * 30 / height) - 35;
            uint8_t* p = &picture.bgr[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) p[c] = Clamp(base[c] + shade);
        }
    }
    return picture;
}

std::vector<uint8_t> EncodePicture(const RgbPicture& picture, PixelFormat format, bool topDown) {
    const int w = picture.width, h = picture.height;
    std::vector<uint8_t> out;
    if (format == PixelFormat::Rgb24 || format == PixelFormat::Rgb32) {
        const size_t bytes = format == PixelFormat::Rgb24 ? 3 : 4;
        const size_t stride = (static_cast<size_t>(w) * bytes + 3) & ~size_t(3);
        out.assign(stride * h, 0);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = &out[stride * (topDown ? y : h - 1 - y)];
            for (int x = 0; x < w; ++x) {
                std::copy(picture.At(x, y), picture.At(x, y) + 3, row + x * bytes);
                if (bytes == 4) row[x * 4 + 3] = 0xFF;
            }
        }
    } else if (format == PixelFormat::Yuy2) {
        out.assign(static_cast<size_t>(w) * h * 2, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; x += 2) {
                uint8_t* p = &out[(static_cast<size_t>(y) * w + x) * 2];
                uint8_t u, v, u1, v1;
                ToYuv(picture.At(x, y), p[0], u, v);
                ToYuv(picture.At(x + 1, y), p[2], u1, v1);
                p[1] = u;
                p[3] = v;
            }
        }
    } else if (format == PixelFormat::Nv12) {
        const size_t plane = static_cast<size_t>(w) * h;
        out.assign(plane + plane / 2, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t u, v;
                ToYuv(picture.At(x, y), out[static_cast<size_t>(y) * w + x], u, v);
                if (x % 2 == 0 && y % 2 == 0) {
                    out[plane + static_cast<size_t>(y / 2) * w + x] = u;
                    out[plane + static_cast<size_t>(y / 2) * w + x + 1] = v;
                }
            }
        }
    }
    return out;
}

RgbPicture FromCameraPicture(const uint8_t* bottomUp) {
    RgbPicture picture{kCameraWidth, kCameraHeight, std::vector<uint8_t>(kCameraPictureBytes)};
    for (int y = 0; y < kCameraHeight; ++y)
        std::copy(bottomUp + static_cast<size_t>(kCameraHeight - 1 - y) * kCameraRowBytes,
                  bottomUp + static_cast<size_t>(kCameraHeight - y) * kCameraRowBytes,
                  &picture.bgr[static_cast<size_t>(y) * kCameraRowBytes]);
    return picture;
}

double Psnr(const RgbPicture& a, const RgbPicture& b) {
    if (a.bgr.size() != b.bgr.size() || a.bgr.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.bgr.size(); ++i) {
        const double d = static_cast<double>(a.bgr[i]) - b.bgr[i];
        sum += d * d;
    }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * a.bgr.size() / sum);
}

namespace {

// Draws `source` bilinearly into the w x h rectangle at (x0, y0) of `out`.
void DrawScaled(const RgbPicture& source, RgbPicture& out, int x0, int y0, int w, int h) {
    const double scaleX = static_cast<double>(w) / source.width, scaleY = static_cast<double>(h) / source.height;
    for (int y = 0; y < h; ++y) {
        const double sy = std::min(source.height - 1.0, std::max(0.0, (y + 0.5) / scaleY - 0.5));
        const int y1 = static_cast<int>(sy), y2 = std::min(y1 + 1, source.height - 1);
        for (int x = 0; x < w; ++x) {
            const double sx = std::min(source.width - 1.0, std::max(0.0, (x + 0.5) / scaleX - 0.5));
            const int x1 = static_cast<int>(sx), x2 = std::min(x1 + 1, source.width - 1);
            const double fx = sx - x1, fy = sy - y1;
            uint8_t* p = &out.bgr[(static_cast<size_t>(y0 + y) * out.width + x0 + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const double top = source.At(x1, y1)[c] * (1 - fx) + source.At(x2, y1)[c] * fx;
                const double bottom = source.At(x1, y2)[c] * (1 - fx) + source.At(x2, y2)[c] * fx;
                p[c] = static_cast<uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
            }
        }
    }
}

}  // namespace

RgbPicture FitReference(const RgbPicture& source) {
    RgbPicture out{kCameraWidth, kCameraHeight, std::vector<uint8_t>(kCameraPictureBytes, 0)};
    const double scale = std::min(static_cast<double>(kCameraWidth) / source.width,
                                  static_cast<double>(kCameraHeight) / source.height);
    const int w = static_cast<int>(std::lround(source.width * scale));
    const int h = static_cast<int>(std::lround(source.height * scale));
    DrawScaled(source, out, (kCameraWidth - w) / 2, (kCameraHeight - h) / 2, w, h);
    return out;
}

RgbPicture Stretch(const RgbPicture& source, int width, int height) {
    RgbPicture out{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3, 0)};
    DrawScaled(source, out, 0, 0, width, height);
    return out;
}

bool WriteBmp(const std::wstring& path, const RgbPicture& picture) {
    const std::vector<uint8_t> pixels = EncodePicture(picture, PixelFormat::Rgb24);
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    info.biSize = sizeof(info);
    info.biWidth = picture.width;
    info.biHeight = picture.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(handle, &file, sizeof(file), &written, nullptr) &&
              ::WriteFile(handle, &info, sizeof(info), &written, nullptr) &&
              ::WriteFile(handle, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    return ::CloseHandle(handle) && ok;
}
