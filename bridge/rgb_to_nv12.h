#pragma once
// RGB to NV12 for the named frame exchange: the pictures of RGB webcams and
// of decoded MJPG go there at their own size. BT.601 limited range, the
// formulas CYuvToRgb inverts (yuv_to_rgb.h):
//   Y = ((66 R + 129 G + 25 B + 128) >> 8) + 16
//   U = ((-38 R - 74 G + 112 B + 128) >> 8) + 128
//   V = ((112 R - 94 G - 18 B + 128) >> 8) + 128
// with each 2 x 2 block's chroma taken from the rounded mean of its four
// pixels.
#include <windows.h>

#include <cstddef>

struct RgbLayout {
    int bytesPerPixel;  // 3 (B G R) or 4 (B G R X)
    size_t stride;      // bytes of a row
    bool bottomUp;      // the first row in memory is the picture's last
};

// width and height even; the NV12 picture is packed: width bytes a row, the
// luma plane then the chroma plane (width x height x 3 / 2 bytes).
void RgbToNv12(const BYTE* rgb, const RgbLayout& layout, int width, int height, BYTE* nv12);
