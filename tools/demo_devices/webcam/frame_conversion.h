#pragma once
// The webcam's pictures in each pixel layout, as DirectShow lays them out.
//
// RGB24 and RGB32: rows bottom-up (positive biHeight), pixels B, G, R
// (RGB32: B, G, R, 255); RGB24 rows padded to a multiple of 4 bytes.
// YUY2 and NV12: rows top-down, as DirectShow has YUV whatever the sign of
// biHeight. YUY2: per pixel pair Y0 U Y1 V. NV12: the Y plane (stride =
// width), then one row of interleaved U V per pair of rows.
//
// RGB to YUV: BT.601, limited range (Y 16..235, U and V 16..240), in the
// integer form of Microsoft's 8-bit YUV guidance, per pixel:
//   Y = (  66 R + 129 G +  25 B +  4224) >> 8     (4224 = 128 + 16 * 256)
//   U = ( -38 R -  74 G + 112 B + 32896) >> 8     (32896 = 128 + 128 * 256)
//   V = ( 112 R -  94 G -  18 B + 32896) >> 8
// (the sums are never negative, so >> 8 is floor(sum / 256): the +128
// rounds to nearest). Chroma of a pixel pair (YUY2) or a 2 x 2 block (NV12)
// is the mean of its pixels' U and V so computed, rounded half up:
//   YUY2: U = (U0 + U1 + 1) >> 1              (sited with the left pixel)
//   NV12: U = (U00 + U01 + U10 + U11 + 2) >> 2  (sited between the rows, with the left pixel)
// and the same for V.
#include <windows.h>

#include <cstdint>

#include "tools/demo_devices/common/bmp_picture.h"
#include "tools/demo_devices/common/video_formats.h"

// Bytes of one frame (biSizeImage).
DWORD FrameBytes(PixelLayout layout, LONG width, LONG height);
WORD BitsPerPixel(PixelLayout layout);

// Writes rows [first, first + count) of `picture` into `frame`, a whole
// frame of `layout` at the picture's size. For NV12, `first` and `count`
// are even. MJPG frames are not made here (EncodeJpeg, whole).
void ConvertRows(const BgrPicture& picture, PixelLayout layout, LONG first, LONG count, uint8_t* frame);
