#pragma once
// YUY2 to NV12 for the named frame exchange: no colour conversion, only the
// bytes regrouped. Luma is kept as it is; each 2 x 2 block's chroma is the
// rounded mean of its two rows' pairs (YUY2 carries chroma for every row,
// NV12 for every other). Sixteen pixels at a time with SSE2 where the build
// has it, the rest of a row one pair at a time; both give the same bytes.
#include <windows.h>

#include <cstddef>

// width and height even. yuy2Stride: bytes of a source row (>= 2 x width);
// the NV12 picture is packed: width bytes a row, the luma plane then the
// chroma plane (width x height x 3 / 2 bytes).
void Yuy2ToNv12(const BYTE* yuy2, size_t yuy2Stride, int width, int height, BYTE* nv12);
