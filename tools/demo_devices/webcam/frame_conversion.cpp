#include "tools/demo_devices/webcam/frame_conversion.h"

#include <cstring>

namespace {

inline int Luma(const uint8_t* bgr) { return (66 * bgr[2] + 129 * bgr[1] + 25 * bgr[0] + 4224) >> 8; }
inline int ChromaU(const uint8_t* bgr) { return (-38 * bgr[2] - 74 * bgr[1] + 112 * bgr[0] + 32896) >> 8; }
inline int ChromaV(const uint8_t* bgr) { return (112 * bgr[2] - 94 * bgr[1] - 18 * bgr[0] + 32896) >> 8; }

DWORD RgbStride(LONG width, WORD bits) { return static_cast<DWORD>(((width * bits + 31) / 32) * 4); }

void ConvertRgbRows(const BgrPicture& picture, bool withPad, LONG first, LONG count, uint8_t* frame) {
    const DWORD stride = RgbStride(picture.width, withPad ? 32 : 24);
    for (LONG y = first; y < first + count; ++y) {
        const uint8_t* from = picture.Row(y);
        uint8_t* to = frame + static_cast<size_t>(picture.height - 1 - y) * stride;
        if (!withPad) {
            std::memcpy(to, from, static_cast<size_t>(picture.width) * 3);
            continue;
        }
        for (LONG x = 0; x < picture.width; ++x) {
            std::memcpy(to + 4 * x, from + 3 * x, 3);
            to[4 * x + 3] = 255;
        }
    }
}

void ConvertYuy2Rows(const BgrPicture& picture, LONG first, LONG count, uint8_t* frame) {
    const size_t stride = static_cast<size_t>(picture.width) * 2;
    for (LONG y = first; y < first + count; ++y) {
        const uint8_t* from = picture.Row(y);
        uint8_t* to = frame + y * stride;
        for (LONG x = 0; x < picture.width; x += 2, from += 6, to += 4) {
            to[0] = static_cast<uint8_t>(Luma(from));
            to[1] = static_cast<uint8_t>((ChromaU(from) + ChromaU(from + 3) + 1) >> 1);
            to[2] = static_cast<uint8_t>(Luma(from + 3));
            to[3] = static_cast<uint8_t>((ChromaV(from) + ChromaV(from + 3) + 1) >> 1);
        }
    }
}

void ConvertNv12Rows(const BgrPicture& picture, LONG first, LONG count, uint8_t* frame) {
    const size_t width = static_cast<size_t>(picture.width);
    uint8_t* chroma = frame + width * picture.height;
    for (LONG y = first; y < first + count; y += 2) {
        const uint8_t* upper = picture.Row(y);
        const uint8_t* lower = picture.Row(y + 1);
        uint8_t* lumaUpper = frame + y * width;
        uint8_t* lumaLower = lumaUpper + width;
        uint8_t* uv = chroma + (y / 2) * width;
        for (size_t x = 0; x < width; x += 2) {
            const uint8_t* p[4] = {upper + 3 * x, upper + 3 * x + 3, lower + 3 * x, lower + 3 * x + 3};
            lumaUpper[x] = static_cast<uint8_t>(Luma(p[0]));
            lumaUpper[x + 1] = static_cast<uint8_t>(Luma(p[1]));
            lumaLower[x] = static_cast<uint8_t>(Luma(p[2]));
            lumaLower[x + 1] = static_cast<uint8_t>(Luma(p[3]));
            uv[x] = static_cast<uint8_t>((ChromaU(p[0]) + ChromaU(p[1]) + ChromaU(p[2]) + ChromaU(p[3]) + 2) >> 2);
            uv[x + 1] = static_cast<uint8_t>((ChromaV(p[0]) + ChromaV(p[1]) + ChromaV(p[2]) + ChromaV(p[3]) + 2) >> 2);
        }
    }
}

}  // namespace

WORD BitsPerPixel(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Rgb24:
            return 24;
        case PixelLayout::Rgb32:
            return 32;
        case PixelLayout::Yuy2:
            return 16;
        case PixelLayout::Mjpg:
            return 24;  // what the JPEG decodes to
        case PixelLayout::Nv12:
            break;
    }
    return 12;
}

DWORD FrameBytes(PixelLayout layout, LONG width, LONG height) {
    switch (layout) {
        case PixelLayout::Rgb24:
        case PixelLayout::Rgb32:
        case PixelLayout::Mjpg:  // room for the JPEG: never more than the raw picture here
            return RgbStride(width, BitsPerPixel(layout)) * static_cast<DWORD>(height);
        case PixelLayout::Yuy2:
            return static_cast<DWORD>(width * height * 2);
        case PixelLayout::Nv12:
            break;
    }
    return static_cast<DWORD>(width * height * 3 / 2);
}

void ConvertRows(const BgrPicture& picture, PixelLayout layout, LONG first, LONG count, uint8_t* frame) {
    switch (layout) {
        case PixelLayout::Rgb24:
        case PixelLayout::Rgb32:
            ConvertRgbRows(picture, layout == PixelLayout::Rgb32, first, count, frame);
            return;
        case PixelLayout::Yuy2:
            ConvertYuy2Rows(picture, first, count, frame);
            return;
        case PixelLayout::Nv12:
            ConvertNv12Rows(picture, first, count, frame);
            return;
        case PixelLayout::Mjpg:
            return;  // the pin encodes the whole picture once
    }
}
