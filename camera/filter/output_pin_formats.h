#pragma once
// The video types the camera's output pin lists, the ones it connects with,
// and the capabilities it reports for them.
#include <windows.h>
#include <dshow.h>

#include "camera/framework/media_type.h"

// List positions 1..4 are 160 x 120, 320 x 240, 480 x 360 and 640 x 480 in
// RGB24; 5..8 are 1280 x 720 and 1920 x 1080, each in NV12 then RGB24;
// position 0 is the pin's current type.
constexpr int kFirstListedPosition = 1;
constexpr int kLastListedPosition = 8;
constexpr int kFullSizePosition = 4;
// What the listed types announce (10 frames a second); clients that want
// 15 ask for it through IAMStreamConfig.
constexpr REFERENCE_TIME kListedTimePerFrame = 1000000;
constexpr REFERENCE_TIME kMinFrameInterval = 666666;
constexpr REFERENCE_TIME kMaxFrameInterval = 50000000;
// The large sizes announce and allow 30 frames a second.
constexpr REFERENCE_TIME kLargeTimePerFrame = 333333;
// Capability 0 is the current type, 1..8 the list positions.
constexpr int kCapabilityCount = kLastListedPosition + 1;

// 1280 x 720 or 1920 x 1080: the sizes that come in NV12 as well, at 30
// frames a second, scaled from whatever picture is at hand.
bool IsLargeSize(LONG width, LONG height);

// Bytes of one RGB row: three a pixel, padded to a multiple of four.
constexpr LONG RgbRowBytes(LONG width, WORD bitCount) { return ((width * bitCount + 31) / 32) * 4; }

// The type of list position 1..4; E_INVALIDARG for other positions,
// E_OUTOFMEMORY when the format block cannot be allocated.
HRESULT MakeListedVideoType(int position, CMediaType* type);

// The VIDEOINFOHEADER at the start of the type's format block, or null when
// there is no block or it is too short to hold one.
const VIDEOINFOHEADER* VideoHeaderOf(const AM_MEDIA_TYPE& type);

// True for the types the pin connects with: fixed-size 24-bit RGB video,
// 320 x 240 or 640 x 480, rows bottom-up; or a large size in RGB24 (rows
// bottom-up) or NV12.
bool IsConnectableType(const AM_MEDIA_TYPE& type);

// The time a sample of a connection of this type lasts: 15 a second at the
// small sizes whatever the type says; at the large ones the type's rate,
// held within 30 a second and one in 5 s (30 when it names none).
REFERENCE_TIME SampleDurationOf(const AM_MEDIA_TYPE& type);

// Capabilities of a listed type (size and depth from its bitmap header).
void FillStreamCaps(const BITMAPINFOHEADER& header, VIDEO_STREAM_CONFIG_CAPS* caps);
