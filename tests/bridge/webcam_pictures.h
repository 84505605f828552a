#pragma once
// Pictures as a webcam would deliver them, made from one RGB picture with
// the BT.601 limited-range formulas the bridge inverts, and the comparison
// of what came out with what was meant.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/pixel_format.h"

// Top-down B, G, R, rows packed.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;

    const uint8_t* At(int x, int y) const { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Four quadrants of distinct colours (top left red, top right green, bottom
// left blue, bottom right grey) with a soft gradient over them; constant
// over 2 x 2 blocks, so that YUV's shared chroma loses nothing.
RgbPicture MakeQuadrantPicture(int width, int height);

// The picture in `format` with the DirectShow layout: RGB rows padded to 4
// bytes and bottom-up unless topDown; YUY2 and NV12 top-down.
std::vector<uint8_t> EncodePicture(const RgbPicture& picture, PixelFormat format, bool topDown = false);

// The camera's picture (640 x 480, bottom-up) as a top-down RgbPicture.
RgbPicture FromCameraPicture(const uint8_t* bottomUp);

// Peak signal-to-noise ratio in dB over all bytes (99 when equal).
double Psnr(const RgbPicture& a, const RgbPicture& b);

// The picture `source` scaled into 640 x 480 with its aspect kept, black
// around it, by bilinear sampling: what any fair scaler would show.
RgbPicture FitReference(const RgbPicture& source);

// The picture stretched to width x height by bilinear sampling (what the
// demo webcam shows of its picture at another size, give or take its own
// scaler).
RgbPicture Stretch(const RgbPicture& source, int width, int height);

// A 24-bit BMP file of the picture; false when it cannot be written.
bool WriteBmp(const std::wstring& path, const RgbPicture& picture);
