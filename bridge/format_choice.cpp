#include "bridge/format_choice.h"

#include <algorithm>
#include <tuple>


namespace {

const long long kLargestWidth = 1920;
const long long kLargestHeight = 1080;

int PassOnCost(PixelFormat format) {
    switch (format) {
    case PixelFormat::Nv12: return 0;
    case PixelFormat::Yuy2: return 1;
    case PixelFormat::Rgb24: return 2;
    case PixelFormat::Rgb32: return 3;
    default: return 4;
    }
}

int RateClass(const CaptureFormatOffer& offer) {
    if (offer.minFrameInterval == 0 || offer.minFrameInterval <= kSlowestFullRateInterval) return 0;
    return offer.minFrameInterval <= kSlowestPreferredInterval ? 1 : 2;
}

// Pixels of the offer that a 1920 x 1080 picture shows, with the offer
// letterboxed (or pillarboxed) into it and never enlarged.
long long ShownArea(const CaptureFormatOffer& offer) {
    const long long w = offer.width, h = offer.height;
    long long fitWidth = kLargestWidth, fitHeight = kLargestWidth * h / w;
    if (fitHeight > kLargestHeight) {
        fitHeight = kLargestHeight;
        fitWidth = kLargestHeight * w / h;
    }
    return std::min(w, fitWidth) * std::min(h, fitHeight);
}

// Smaller is better.
std::tuple<int, int, long long, int, int, size_t> RankKey(const CaptureFormatOffer& offer, size_t index) {
    const bool beyond = offer.width > kLargestWidth || offer.height > kLargestHeight;
    const long long area = static_cast<long long>(offer.width) * offer.height;
    return std::make_tuple(RateClass(offer), beyond ? 1 : 0, beyond ? area : -ShownArea(offer),
                           offer.format == PixelFormat::Mjpg ? 1 : 0, PassOnCost(offer.format), index);
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
