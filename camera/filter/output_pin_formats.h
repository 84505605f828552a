#pragma once
// The video types the camera's output pin lists, the ones it connects with,
// and the capabilities it reports for them.
#include <windows.h>
#include <dshow.h>

#include "camera/framework/media_type.h"

// List positions 1..4 are 160 x 120, 320 x 240, 480 x 360 and 640 x 480;
// position 0 is the pin's current type.
constexpr int kFirstListedPosition = 1;
constexpr int kLastListedPosition = 4;
constexpr int kFullSizePosition = 4;
// What the listed types announce (10 frames a second); clients that want
// 15 ask for it through IAMStreamConfig.
constexpr REFERENCE_TIME kListedTimePerFrame = 1000000;
constexpr REFERENCE_TIME kMinFrameInterval = 666666;
constexpr REFERENCE_TIME kMaxFrameInterval = 50000000;
constexpr int kCapabilityCount = 4;

// Bytes of one RGB row: three a pixel, padded to a multiple of four.
constexpr LONG RgbRowBytes(LONG width, WORD bitCount) { return ((width * bitCount + 31) / 32) * 4; }

// The type of list position 1..4; E_INVALIDARG for other positions,
// E_OUTOFMEMORY when the format block cannot be allocated.
HRESULT MakeListedVideoType(int position, CMediaType* type);

// The VIDEOINFOHEADER at the start of the type's format block, or null when
// there is no block or it is too short to hold one.
const VIDEOINFOHEADER* VideoHeaderOf(const AM_MEDIA_TYPE& type);

// True for the types the pin connects with: fixed-size 24-bit RGB video,
// 320 x 240 or 640 x 480, rows bottom-up.
bool IsConnectableType(const AM_MEDIA_TYPE& type);

// Capabilities of a listed size (width x height from its bitmap header).
void FillStreamCaps(const BITMAPINFOHEADER& header, VIDEO_STREAM_CONFIG_CAPS* caps);
