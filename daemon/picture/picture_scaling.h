#pragma once
// Pictures of the exchange to the size a watcher asked for, in the order the
// JPEG encoder takes: blue, green, red a pixel, top row first.
#include <windows.h>

#include <vector>

#include "daemon/picture/picture_view.h"

// The height that keeps the source's aspect ratio at `width` (at least 1).
LONG ScaledHeight(const PictureView& source, LONG width);

// Bilinear resampling (luma bilinear, chroma nearest for NV12) into
// width x height, rows of width * 3 bytes; the picture is flipped upright
// for RGB24. `out` is resized to fit.
void ScaleToBgr(const PictureView& source, LONG width, LONG height, std::vector<BYTE>& out);
