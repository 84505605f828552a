#pragma once
// Which of the webcam's types the bridge asks for. In order of preference:
//   1. at least 30 frames a second (or a type that does not say); else at
//      least 15; else the rest;
//   2. a size the named frame exchange holds (up to 1920 x 1080) before one
//      beyond it, which only the 640 x 480 record could take;
//   3. the most pixels shown, counted after letterboxing into 1920 x 1080
//      and never enlarged (a 4:3 1440 x 1080 fills the whole height, as a
//      16:9 1920 x 1080 does); beyond 1920 x 1080, the smallest;
//   4. uncompressed before MJPG, which the bridge has to decode;
//   5. the cheapest to pass on: NV12, YUY2 (regrouped into NV12), RGB24,
//      RGB32;
//   6. the webcam's own order.
// The bridge tries them in this order and keeps the first that connects, so
// a type that does not connect (MJPG of an odd size, which the bridge does
// not decode) gives way to the next.
#include <windows.h>

#include <vector>

#include "bridge/pixel_format.h"

// 100-ns units. 29.97 a second (NTSC-era webcams) counts as 30.
constexpr LONGLONG kSlowestFullRateInterval = 10000000 / 29;
constexpr LONGLONG kSlowestPreferredInterval = 10000000 / 15;
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
