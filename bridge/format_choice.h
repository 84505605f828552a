#pragma once
// Which of the webcam's types the bridge asks for. In order of preference:
//   1. at least 15 frames a second (or a type that does not say);
//   2. 640 x 480; else the closest larger size (both sides at least 640 x
//      480, the smallest such area); else, every size being smaller, the
//      largest;
//   3. the cheapest to turn into the camera's RGB24: RGB24, RGB32, YUY2,
//      NV12, then MJPG (which the platform has to decode first);
//   4. the webcam's own order.
// The bridge tries them in this order and keeps the first that connects, so
// a type the platform cannot decode (MJPG without a decoder) gives way to
// the next.
#include <windows.h>

#include <vector>

#include "bridge/pixel_format.h"

constexpr LONGLONG kSlowestPreferredInterval = 10000000 / 15;  // 100-ns units
// The camera takes at most 30 pictures a second; a webcam able to go
// faster is asked for this rate.
constexpr LONGLONG kWantedFrameInterval = 10000000 / 30;

struct CaptureFormatOffer {
    PixelFormat format;
    int width;
    int height;
    // Shortest and longest frame interval the type allows, in 100-ns units;
    // 0 when the webcam does not say.
    LONGLONG minFrameInterval;
    LONGLONG maxFrameInterval;
};

// Indexes into offers, best first; types of unknown formats are left out.
std::vector<size_t> RankCaptureFormats(const std::vector<CaptureFormatOffer>& offers);

// The frame interval to ask of an offer: 30 a second where its range
// allows, else the nearest it allows; 0 when it does not say.
LONGLONG ChooseFrameInterval(const CaptureFormatOffer& offer);
