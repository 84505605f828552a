#pragma once
// Drawing one picture into another of any size and either format the camera
// deals in (NV12, or RGB24 with the bottom row first): copied when size and
// format match, otherwise scaled with its aspect ratio kept, centred, and
// the bars around it black (letterboxed or pillarboxed).
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/named_frame_exchange.h"

struct PictureLayout {
    NamedFrameFormat format;
    LONG width;
    LONG height;
    LONG stride;  // bytes a row; NV12: of both planes
};

// Packed rows: NV12 stride = width, RGB24 stride = width x 3.
PictureLayout PackedLayout(NamedFrameFormat format, LONG width, LONG height);
// Bytes of a picture of this layout (NamedFrameBytes's rule, any size).
size_t PictureBytes(const PictureLayout& layout);

struct FittedRect {
    LONG x;
    LONG y;
    LONG width;
    LONG height;
};

// The largest rectangle with the source's aspect ratio that fits the
// destination, centred; on even coordinates and sizes when `even` (NV12
// shares one chroma sample among 2 x 2 pixels).
FittedRect FitPicture(LONG sourceWidth, LONG sourceHeight, LONG width, LONG height, bool even);

// Draws `source` into `destination` (whose bytes it fills completely). The
// scaling takes the nearest source pixel; colours convert with the BT.601
// studio-range matrix. Both pictures must be at least 2 x 2, NV12 ones of
// even size, and no larger than 1920 x 1080.
void DrawPicture(const PictureLayout& sourceLayout, const uint8_t* source, const PictureLayout& destinationLayout,
                 uint8_t* destination);
