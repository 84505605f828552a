#include "bridge/rgb_to_nv12.h"

namespace {

inline BYTE Luma(int b, int g, int r) { return static_cast<BYTE>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }

// Top-down row `y` of the picture.
inline const BYTE* RowOf(const BYTE* rgb, const RgbLayout& layout, int height, int y) {
    const int stored = layout.bottomUp ? height - 1 - y : y;
    return rgb + layout.stride * static_cast<size_t>(stored);
}

}  // namespace

void RgbToNv12(const BYTE* rgb, const RgbLayout& layout, int width, int height, BYTE* nv12) {
    const int step = layout.bytesPerPixel;
    BYTE* chroma = nv12 + static_cast<size_t>(width) * height;
    for (int y = 0; y < height; y += 2) {
        const BYTE* top = RowOf(rgb, layout, height, y);
        const BYTE* bottom = RowOf(rgb, layout, height, y + 1);
        BYTE* lumaTop = nv12 + static_cast<size_t>(width) * y;
        BYTE* lumaBottom = lumaTop + width;
        BYTE* uv = chroma + static_cast<size_t>(width) * (y / 2);
        for (int x = 0; x < width; x += 2) {
            const BYTE* p[4] = {top + x * step, top + (x + 1) * step, bottom + x * step, bottom + (x + 1) * step};
            lumaTop[x] = Luma(p[0][0], p[0][1], p[0][2]);
            lumaTop[x + 1] = Luma(p[1][0], p[1][1], p[1][2]);
            lumaBottom[x] = Luma(p[2][0], p[2][1], p[2][2]);
            lumaBottom[x + 1] = Luma(p[3][0], p[3][1], p[3][2]);
            const int b = (p[0][0] + p[1][0] + p[2][0] + p[3][0] + 2) >> 2;
            const int g = (p[0][1] + p[1][1] + p[2][1] + p[3][1] + 2) >> 2;
            const int r = (p[0][2] + p[1][2] + p[2][2] + p[3][2] + 2) >> 2;
            uv[x] = static_cast<BYTE>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            uv[x + 1] = static_cast<BYTE>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
        }
    }
}
