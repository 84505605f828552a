#include "camera/filter/picture_scaling.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;
constexpr uint8_t kBlackRgb = 0;

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::min(255, std::max(0, value))); }

struct Yuv {
    uint8_t y, u, v;
};

Yuv RgbToYuv(const uint8_t* bgr) {
    const int b = bgr[0], g = bgr[1], r = bgr[2];
    return Yuv{static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
               static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
               static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

void YuvToRgb(int y, int u, int v, uint8_t* bgr) {
    const int c = 298 * (y - 16) + 128, d = u - 128, e = v - 128;
    bgr[0] = Clamp((c + 516 * d) >> 8);
    bgr[1] = Clamp((c - 100 * d - 208 * e) >> 8);
    bgr[2] = Clamp((c + 409 * e) >> 8);
}

// Rows are counted from the top of the picture whatever the memory order.
const uint8_t* RgbRow(const PictureLayout& layout, const uint8_t* data, LONG row) {
    return data + static_cast<size_t>(layout.height - 1 - row) * layout.stride;
}
const uint8_t* LumaRow(const PictureLayout& layout, const uint8_t* data, LONG row) {
    return data + static_cast<size_t>(row) * layout.stride;
}
const uint8_t* ChromaRow(const PictureLayout& layout, const uint8_t* data, LONG row) {
    return data + static_cast<size_t>(layout.height) * layout.stride + static_cast<size_t>(row / 2) * layout.stride;
}

// Source column or row of destination position i of a span of n that shows
// m source positions: the nearest to the centre of i.
LONG SourceIndex(LONG i, LONG n, LONG m) {
    return static_cast<LONG>(std::min<long long>((2LL * i + 1) * m / (2LL * n), m - 1));
}

// Fills bytes [from, to) of a row with `value` in units of `unit` bytes
// (a luma byte, a chroma pair, an RGB pixel).
void FillSpan(uint8_t* row, LONG from, LONG to, size_t unit, uint8_t value) {
    if (to > from) std::memset(row + from * unit, value, static_cast<size_t>(to - from) * unit);
}

void DrawIntoRgb(const PictureLayout& sl, const uint8_t* source, const PictureLayout& dl, uint8_t* destination,
                 const FittedRect& fit, const LONG* columns) {
    for (LONG r = 0; r < dl.height; ++r) {
        auto* row = const_cast<uint8_t*>(RgbRow(dl, destination, r));
        if (r < fit.y || r >= fit.y + fit.height) {
            FillSpan(row, 0, dl.width, 3, kBlackRgb);
            continue;
        }
        FillSpan(row, 0, fit.x, 3, kBlackRgb);
        FillSpan(row, fit.x + fit.width, dl.width, 3, kBlackRgb);
        const LONG sr = SourceIndex(r - fit.y, fit.height, sl.height);
        uint8_t* out = row + fit.x * 3;
        if (sl.format == NamedFrameFormat::RGB24) {
            const uint8_t* in = RgbRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x, out += 3) std::memcpy(out, in + columns[x] * 3, 3);
        } else {
            const uint8_t* luma = LumaRow(sl, source, sr);
            const uint8_t* chroma = ChromaRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x, out += 3) {
                const LONG sx = columns[x];
                const LONG cx = sx & ~1;
                YuvToRgb(luma[sx], chroma[cx], chroma[cx + 1], out);
            }
        }
    }
}

void DrawIntoNv12(const PictureLayout& sl, const uint8_t* source, const PictureLayout& dl, uint8_t* destination,
                  const FittedRect& fit, const LONG* columns) {
    const bool fromRgb = sl.format == NamedFrameFormat::RGB24;
    for (LONG r = 0; r < dl.height; ++r) {
        auto* row = const_cast<uint8_t*>(LumaRow(dl, destination, r));
        if (r < fit.y || r >= fit.y + fit.height) {
            FillSpan(row, 0, dl.width, 1, kBlackLuma);
            continue;
        }
        FillSpan(row, 0, fit.x, 1, kBlackLuma);
        FillSpan(row, fit.x + fit.width, dl.width, 1, kBlackLuma);
        const LONG sr = SourceIndex(r - fit.y, fit.height, sl.height);
        uint8_t* out = row + fit.x;
        if (fromRgb) {
            const uint8_t* in = RgbRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x) out[x] = RgbToYuv(in + columns[x] * 3).y;
        } else {
            const uint8_t* in = LumaRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x) out[x] = in[columns[x]];
        }
    }
    // One chroma pair for each 2 x 2 block, taken at the block's top left.
    for (LONG r = 0; r < dl.height; r += 2) {
        auto* row = const_cast<uint8_t*>(ChromaRow(dl, destination, r));
        if (r < fit.y || r >= fit.y + fit.height) {
            FillSpan(row, 0, dl.width / 2, 2, kNeutralChroma);
            continue;
        }
        FillSpan(row, 0, fit.x / 2, 2, kNeutralChroma);
        FillSpan(row, (fit.x + fit.width) / 2, dl.width / 2, 2, kNeutralChroma);
        const LONG sr = SourceIndex(r - fit.y, fit.height, sl.height);
        uint8_t* out = row + fit.x;
        if (fromRgb) {
            const uint8_t* in = RgbRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; x += 2, out += 2) {
                const Yuv yuv = RgbToYuv(in + columns[x] * 3);
                out[0] = yuv.u;
                out[1] = yuv.v;
            }
        } else {
            const uint8_t* in = ChromaRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; x += 2, out += 2) std::memcpy(out, in + (columns[x] & ~1), 2);
        }
    }
}

}  // namespace

PictureLayout PackedLayout(NamedFrameFormat format, LONG width, LONG height) {
    return PictureLayout{format, width, height, format == NamedFrameFormat::NV12 ? width : width * 3};
}

size_t PictureBytes(const PictureLayout& layout) {
    const size_t rows = static_cast<size_t>(layout.height);
    return layout.format == NamedFrameFormat::NV12 ? static_cast<size_t>(layout.stride) * rows * 3 / 2
                                                   : static_cast<size_t>(layout.stride) * rows;
}

FittedRect FitPicture(LONG sourceWidth, LONG sourceHeight, LONG width, LONG height, bool even) {
    long long w = width;
    long long h = (2LL * sourceHeight * width + sourceWidth) / (2LL * sourceWidth);
    if (h > height) {
        h = height;
        w = (2LL * sourceWidth * height + sourceHeight) / (2LL * sourceHeight);
    }
    if (even) {
        w = std::max(2LL, w & ~1LL);
        h = std::max(2LL, h & ~1LL);
    }
    FittedRect fit = {static_cast<LONG>((width - w) / 2), static_cast<LONG>((height - h) / 2), static_cast<LONG>(w),
                      static_cast<LONG>(h)};
    if (even) {
        fit.x &= ~1;
        fit.y &= ~1;
    }
    return fit;
}

void DrawPicture(const PictureLayout& sl, const uint8_t* source, const PictureLayout& dl, uint8_t* destination) {
    if (sl.format == dl.format && sl.width == dl.width && sl.height == dl.height) {
        if (sl.stride == dl.stride) {
            std::memcpy(destination, source, PictureBytes(dl));
            return;
        }
        const size_t rowBytes = dl.format == NamedFrameFormat::NV12 ? dl.width : dl.width * 3;
        const LONG rows = dl.format == NamedFrameFormat::NV12 ? dl.height * 3 / 2 : dl.height;
        for (LONG r = 0; r < rows; ++r)
            std::memcpy(destination + static_cast<size_t>(r) * dl.stride, source + static_cast<size_t>(r) * sl.stride,
                        rowBytes);
        return;
    }
    const FittedRect fit = FitPicture(sl.width, sl.height, dl.width, dl.height, dl.format == NamedFrameFormat::NV12);
    LONG columns[kNamedFrameMaxWidth];
    for (LONG x = 0; x < fit.width; ++x) columns[x] = SourceIndex(x, fit.width, sl.width);
    if (dl.format == NamedFrameFormat::RGB24)
        DrawIntoRgb(sl, source, dl, destination, fit, columns);
    else
        DrawIntoNv12(sl, source, dl, destination, fit, columns);
}
