#include "camera/filter/sample_fill.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "camera/filter/halve_image.h"

size_t BoundedCopyLength(LONG length, size_t room) {
    if (length <= 0) return 0;
    return std::min(static_cast<size_t>(length), room);
}

namespace {

constexpr PictureLayout kRecordLayout = {NamedFrameFormat::RGB24, kFullWidth, kFullHeight,
                                         static_cast<LONG>(kFullRowBytes)};

}  // namespace

bool DrawNamedFrame(const NamedSource& named, const PictureLayout& layout, uint8_t* picture) {
    if (!named.exchange) return false;
    // A frame of another size or format is copied out under the guard and
    // scaled or converted after it: a conversion takes several times a
    // copy's time, and the bridge's writer waits for every reader inside.
    // Each streaming thread has its own copy.
    thread_local std::vector<uint8_t> copy;
    bool drawn = false, copied = false;
    PictureLayout source = {};
    const FrameTake take = named.exchange->ReadLatest([&](const NamedFrameInfo& info, const BYTE* frame) {
        drawn = info.copiedFromImage == 0 || info.copiedFromImage != named.ownImage;
        copied = false;
        if (!drawn) return;
        source = PictureLayout{info.format, info.width, info.height, info.stride};
        if (source.format == layout.format && source.width == layout.width && source.height == layout.height) {
            DrawPicture(source, frame, layout, picture);
            return;
        }
        if (copy.size() < info.frameBytes) copy.resize(kNamedFrameCapacity);
        std::memcpy(copy.data(), frame, info.frameBytes);
        copied = true;
    });
    if (take != FrameTake::Injected || !drawn) return false;
    if (copied) DrawPicture(source, copy.data(), layout, picture);
    return true;
}

FrameTake FillLargeSample(FrameExchange& record, FrameExchangeGuard& guard, const NamedSource& named,
                          const PictureLayout& layout, const uint8_t* standby, uint8_t* sample, size_t sampleSize) {
    const size_t bytes = PictureBytes(layout);
    if (sampleSize < bytes) return FrameTake::Standby;
    if (DrawNamedFrame(named, layout, sample)) return FrameTake::Injected;
    bool whole = false;
    const FrameTake take = TakeFreshFrame(record, guard, [&](const BYTE* frame, LONG frameLength) {
        whole = frameLength >= static_cast<LONG>(kFullPictureBytes);
        if (whole) DrawPicture(kRecordLayout, frame, layout, sample);
    });
    if (take == FrameTake::Injected && whole) return take;
    std::memcpy(sample, standby, bytes);
    return take == FrameTake::Busy ? take : FrameTake::Standby;
}

FrameTake FillSample(FrameExchange& record, FrameExchangeGuard& guard, LONG width, LONG height,
                     const SampleSources& sources, uint8_t* sample, size_t sampleSize, const NamedSource& named) {
    const bool half = width == kHalfWidth;
    FrameTake take = TakeFreshFrame(record, guard, [&](const BYTE* frame, LONG frameLength) {
        if (half) {
            // The record always holds a whole 640 x 480 picture's room, so
            // halving reads inside it whatever was written last.
            const size_t n = BoundedCopyLength(frameLength / 4, std::min(sampleSize, kHalfPictureBytes));
            if (n == kHalfPictureBytes) {
                // The whole half picture goes out: halving straight into the
                // sample gives the same bytes and saves a copy.
                HalveImage(frame, sample);
            } else {
                HalveImage(frame, sources.halfScratch);
                std::memcpy(sample, sources.halfScratch, n);
            }
        } else {
            const size_t n = BoundedCopyLength(frameLength, std::min(sampleSize, static_cast<size_t>(kFrameCapacity)));
            std::memcpy(sample, frame, n);
        }
    });
    if (take == FrameTake::Injected) return take;
    if ((width == kFullWidth && height == kFullHeight) || (width == kHalfWidth && height == kHalfHeight)) {
        const PictureLayout layout = PackedLayout(NamedFrameFormat::RGB24, width, height);
        if (sampleSize >= PictureBytes(layout) && DrawNamedFrame(named, layout, sample)) return FrameTake::Injected;
    }

    // Only 320 x 240 and 640 x 480 connect, but the size is computed wide
    // and bounded anyway: it comes from a type another filter proposed.
    const long long rows = std::max<long long>(height, 0);
    if (half) {
        const long long bytes = rows * static_cast<long long>(kHalfRowBytes);
        std::memcpy(sample, sources.standbyHalf, std::min<long long>(bytes, std::min(sampleSize, kHalfPictureBytes)));
    } else {
        const long long bytes = rows * std::max<long long>(width, 0) * kPixelBytes;
        std::memcpy(sample, sources.standbyFull, std::min<long long>(bytes, std::min(sampleSize, kFullPictureBytes)));
    }
    return take;
}
