#include "camera/filter/picture_scaling.h"

#include <algorithm>
#include <cstring>

#include "common/yuv_rows_vector.h"

namespace {

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;
constexpr uint8_t kBlackRgb = 0;

struct Yuv {
    uint8_t y, u, v;
};

// The BT.601 studio-range products, looked up rather than multiplied: the
// conversions run for every pixel of a large picture.
struct ColourTables {
    int yFromR[256], yFromG[256], yFromB[256];
    int uFromR[256], uFromG[256], uvFromB[256];  // 112 x b for u, and 112 x r for v share one table
    int vFromG[256], vFromB[256];
    int luma[256];                     // 298 x (y - 16) + 128
    int rFromV[256], gFromU[256], gFromV[256], bFromU[256];
    // Index value + 384, clamped to 0..255: from 8-bit inputs the sums
    // shifted by 8 lie within -277..534.
    uint8_t clamp[1024];

    ColourTables() {
        for (int i = 0; i < 256; ++i) {
            yFromR[i] = 66 * i, yFromG[i] = 129 * i, yFromB[i] = 25 * i + 128;
            uFromR[i] = -38 * i, uFromG[i] = -74 * i, uvFromB[i] = 112 * i;
            vFromG[i] = -94 * i, vFromB[i] = -18 * i;
            luma[i] = 298 * (i - 16) + 128;
            rFromV[i] = 409 * (i - 128), gFromU[i] = -100 * (i - 128), gFromV[i] = -208 * (i - 128);
            bFromU[i] = 516 * (i - 128);
        }
        for (int i = 0; i < 1024; ++i) clamp[i] = static_cast<uint8_t>(std::min(255, std::max(0, i - 384)));
    }
    uint8_t Clamp(int value) const { return clamp[value + 384]; }
};

const ColourTables& Tables() {
    static const ColourTables tables;
    return tables;
}

Yuv RgbToYuv(const ColourTables& t, const uint8_t* bgr) {
    const int b = bgr[0], g = bgr[1], r = bgr[2];
    return Yuv{static_cast<uint8_t>(((t.yFromR[r] + t.yFromG[g] + t.yFromB[b]) >> 8) + 16),
               static_cast<uint8_t>(((t.uFromR[r] + t.uFromG[g] + t.uvFromB[b] + 128) >> 8) + 128),
               static_cast<uint8_t>(((t.uvFromB[r] + t.vFromG[g] + t.vFromB[b] + 128) >> 8) + 128)};
}

void YuvToRgb(const ColourTables& t, int y, int u, int v, uint8_t* bgr) {
    const int c = t.luma[y];
    bgr[0] = t.Clamp((c + t.bFromU[u]) >> 8);
    bgr[1] = t.Clamp((c + t.gFromU[u] + t.gFromV[v]) >> 8);
    bgr[2] = t.Clamp((c + t.rFromV[v]) >> 8);
}

// Rows are counted from the top of the picture whatever the memory order.
template <typename Byte>
Byte* RgbRow(const PictureLayout& layout, Byte* data, LONG row) {
    return data + static_cast<size_t>(layout.height - 1 - row) * layout.stride;
}
template <typename Byte>
Byte* LumaRow(const PictureLayout& layout, Byte* data, LONG row) {
    return data + static_cast<size_t>(row) * layout.stride;
}
template <typename Byte>
Byte* ChromaRow(const PictureLayout& layout, Byte* data, LONG row) {
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

// Paints the bars of a destination row `r` in `value`: all of it when the
// row lies outside the picture (then false), else left and right of it.
// Spans count in units of `unit` bytes, `per` pixels each (a chroma pair
// covers two).
bool PaintBars(uint8_t* row, LONG r, LONG width, const FittedRect& fit, size_t unit, LONG per, uint8_t value) {
    if (r < fit.y || r >= fit.y + fit.height) {
        FillSpan(row, 0, width / per, unit, value);
        return false;
    }
    FillSpan(row, 0, fit.x / per, unit, value);
    FillSpan(row, (fit.x + fit.width) / per, width / per, unit, value);
    return true;
}

// Which of the vector rows, if any, fits the columns a row takes.
enum class VectorRows { None, Same, Halved };

// The nearest source column to the centre of column x of half the width is
// 2x + 1 (SourceIndex): the second pixel of each pair.
VectorRows VectorRowsFor(LONG sourceWidth, LONG drawnWidth) {
    if (!VectorYuvRowsAvailable()) return VectorRows::None;
    if (drawnWidth == sourceWidth) return VectorRows::Same;
    if (drawnWidth * 2 == sourceWidth) return VectorRows::Halved;
    return VectorRows::None;
}

void DrawIntoRgb(const PictureLayout& sl, const uint8_t* source, const PictureLayout& dl, uint8_t* destination,
                 const FittedRect& fit, const LONG* columns) {
    const VectorRows vector = sl.format == NamedFrameFormat::NV12 ? VectorRowsFor(sl.width, fit.width)
                                                                   : VectorRows::None;
    for (LONG r = 0; r < dl.height; ++r) {
        uint8_t* row = RgbRow(dl, destination, r);
        if (!PaintBars(row, r, dl.width, fit, 3, 1, kBlackRgb)) continue;
        const LONG sr = SourceIndex(r - fit.y, fit.height, sl.height);
        uint8_t* out = row + fit.x * 3;
        if (sl.format == NamedFrameFormat::RGB24) {
            const uint8_t* in = RgbRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x, out += 3) std::memcpy(out, in + columns[x] * 3, 3);
        } else {
            const ColourTables& tables = Tables();
            const uint8_t* luma = LumaRow(sl, source, sr);
            const uint8_t* chroma = ChromaRow(sl, source, sr);
            // A frame drawn at its own width or at half of it (1920 to
            // 960, 1280 to 640) takes every pixel or every pair's second
            // one: the vector rows' cases, to the same bytes.
            LONG x = 0;
            if (vector == VectorRows::Same)
                x = SameWidthNv12Vector(luma, chroma, fit.width, out);
            else if (vector == VectorRows::Halved)
                x = HalvedNv12Vector(luma, chroma, fit.width, out);
            for (out += x * 3; x < fit.width; ++x, out += 3) {
                const LONG sx = columns[x];
                const LONG cx = sx & ~1;
                YuvToRgb(tables, luma[sx], chroma[cx], chroma[cx + 1], out);
            }
        }
    }
}

void DrawIntoNv12(const PictureLayout& sl, const uint8_t* source, const PictureLayout& dl, uint8_t* destination,
                  const FittedRect& fit, const LONG* columns) {
    const bool fromRgb = sl.format == NamedFrameFormat::RGB24;
    const ColourTables& tables = Tables();
    for (LONG r = 0; r < dl.height; ++r) {
        uint8_t* row = LumaRow(dl, destination, r);
        if (!PaintBars(row, r, dl.width, fit, 1, 1, kBlackLuma)) continue;
        const LONG sr = SourceIndex(r - fit.y, fit.height, sl.height);
        uint8_t* out = row + fit.x;
        if (fromRgb) {
            const uint8_t* in = RgbRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x) {
                const uint8_t* bgr = in + columns[x] * 3;
                out[x] = static_cast<uint8_t>(
                    ((tables.yFromR[bgr[2]] + tables.yFromG[bgr[1]] + tables.yFromB[bgr[0]]) >> 8) + 16);
            }
        } else {
            const uint8_t* in = LumaRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; ++x) out[x] = in[columns[x]];
        }
    }
    // One chroma pair for each 2 x 2 block, taken at the block's top left.
    for (LONG r = 0; r < dl.height; r += 2) {
        uint8_t* row = ChromaRow(dl, destination, r);
        if (!PaintBars(row, r, dl.width, fit, 2, 2, kNeutralChroma)) continue;
        const LONG sr = SourceIndex(r - fit.y, fit.height, sl.height);
        uint8_t* out = row + fit.x;
        if (fromRgb) {
            const uint8_t* in = RgbRow(sl, source, sr);
            for (LONG x = 0; x < fit.width; x += 2, out += 2) {
                const Yuv yuv = RgbToYuv(tables, in + columns[x] * 3);
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
