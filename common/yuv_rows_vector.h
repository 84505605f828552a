#pragma once
// The common YUV rows eight target pixels at a time with SSE2, for the
// bridge's conversion of webcam pictures and the camera's drawing of HD
// frames: the integer BT.601 studio-range formulas both use in their scalar
// paths (C = 298 (Y - 16) + 128; B = C + 516 (U - 128), G = C - 100 (U - 128)
// - 208 (V - 128), R = C + 409 (V - 128); each >> 8, clamped to 0..255), so
// every byte equals theirs. Each function converts the leading multiple of eight pixels of a
// row of `width` and returns how many it did; the caller finishes the rest
// (and does everything where SSE2 is not available at build time, when the
// functions return 0).
//
// Same: one target pixel for each source pixel. Halved: each target pixel
// is the second pixel of a source pair, with that pair's chroma.
// YUY2 rows are Y0 U Y1 V for each pair; NV12 has a luma row and a chroma
// row of U V for each pair.
#include <windows.h>

// True when this build converts with SSE2.
bool VectorYuvRowsAvailable();

int SameWidthYuy2Vector(const BYTE* yuy2, int width, BYTE* bgr);
int HalvedYuy2Vector(const BYTE* yuy2, int width, BYTE* bgr);
int SameWidthNv12Vector(const BYTE* luma, const BYTE* chroma, int width, BYTE* bgr);
int HalvedNv12Vector(const BYTE* luma, const BYTE* chroma, int width, BYTE* bgr);
