#include "bridge/format_choice.h"

#include <algorithm>
#include <tuple>

#include "bridge/picture_fit.h"

namespace {

int ConversionCost(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgb24: return 0;
    case PixelFormat::Rgb32: return 1;
    case PixelFormat::Yuy2: return 2;
    case PixelFormat::Nv12: return 3;
    default: return 4;
    }
}

// Smaller is better.
std::tuple<int, int, long long, int, size_t> RankKey(const CaptureFormatOffer& offer, size_t index) {
    const bool fastEnough = offer.minFrameInterval == 0 || offer.minFrameInterval <= kSlowestPreferredInterval;
    const long long area = static_cast<long long>(offer.width) * offer.height;
    int sizeClass;
    long long sizeOrder;
    if (offer.width == kCameraWidth && offer.height == kCameraHeight) {
        sizeClass = 0;
        sizeOrder = 0;
    } else if (offer.width >= kCameraWidth && offer.height >= kCameraHeight) {
        sizeClass = 1;
        sizeOrder = area;
    } else {
        sizeClass = 2;
        sizeOrder = -area;
    }
    return std::make_tuple(fastEnough ? 0 : 1, sizeClass, sizeOrder, ConversionCost(offer.format), index);
}

}  // namespace

std::vector<size_t> RankCaptureFormats(const std::vector<CaptureFormatOffer>& offers) {
    std::vector<size_t> ranked;
    for (size_t i = 0; i < offers.size(); ++i) {
        if (offers[i].format != PixelFormat::Unknown && offers[i].width > 0 && offers[i].height > 0)
            ranked.push_back(i);
    }
    std::sort(ranked.begin(), ranked.end(),
              [&](size_t a, size_t b) { return RankKey(offers[a], a) < RankKey(offers[b], b); });
    return ranked;
}

LONGLONG ChooseFrameInterval(const CaptureFormatOffer& offer) {
    if (offer.minFrameInterval <= 0) return 0;
    LONGLONG interval = std::max(kWantedFrameInterval, offer.minFrameInterval);
    if (offer.maxFrameInterval >= offer.minFrameInterval) interval = std::min(interval, offer.maxFrameInterval);
    return interval;
}
