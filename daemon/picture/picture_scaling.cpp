#include "daemon/picture/picture_scaling.h"

#include <cstdint>

namespace {

// 16.16 fixed point: where output sample i falls in the source, pixel
// centres aligned, so that an unscaled picture comes out unchanged.
struct Tap {
    LONG first;
    LONG second;
    uint32_t weight;  // of `second`, 0..65536
};

std::vector<Tap> Taps(LONG sourceSize, LONG outSize) {
    std::vector<Tap> taps(static_cast<size_t>(outSize));
    for (LONG i = 0; i < outSize; ++i) {
        const int64_t position = ((2 * static_cast<int64_t>(i) + 1) * sourceSize * 65536) / (2 * outSize) - 32768;
        LONG first = position < 0 ? 0 : static_cast<LONG>(position >> 16);
        uint32_t weight = position < 0 ? 0 : static_cast<uint32_t>(position & 0xFFFF);
        if (first >= sourceSize - 1) {
            first = sourceSize - 1;
            weight = 0;
        }
        taps[static_cast<size_t>(i)] = Tap{first, first + (weight ? 1 : 0), weight};
    }
    return taps;
}

inline BYTE Mix(uint32_t a, uint32_t b, uint32_t weight) {
    return static_cast<BYTE>((a * (65536 - weight) + b * weight + 32768) >> 16);
}

inline BYTE Clamp(int value) { return static_cast<BYTE>(value < 0 ? 0 : value > 255 ? 255 : value); }

// BT.601 studio range, as the camera and the bridge convert.
inline void YuvToBgr(int y, int u, int v, BYTE* out) {
    const int c = 298 * (y - 16) + 128;
    const int d = u - 128, e = v - 128;
    out[0] = Clamp((c + 516 * d) >> 8);
    out[1] = Clamp((c - 100 * d - 208 * e) >> 8);
    out[2] = Clamp((c + 409 * e) >> 8);
}

void ScaleRgb24(const PictureView& source, LONG width, LONG height, BYTE* out) {
    const std::vector<Tap> columns = Taps(source.width, width);
    const std::vector<Tap> rows = Taps(source.height, height);
    // Bottom row first in the source.
    auto row = [&](LONG y) { return source.bytes + static_cast<size_t>(source.height - 1 - y) * source.stride; };
    for (LONG y = 0; y < height; ++y) {
        const Tap& r = rows[static_cast<size_t>(y)];
        const BYTE* top = row(r.first);
        const BYTE* bottom = row(r.second);
        BYTE* target = out + static_cast<size_t>(y) * width * 3;
        for (LONG x = 0; x < width; ++x) {
            const Tap& c = columns[static_cast<size_t>(x)];
            const BYTE* a = top + c.first * 3;
            const BYTE* b = top + c.second * 3;
            const BYTE* d = bottom + c.first * 3;
            const BYTE* e = bottom + c.second * 3;
            for (int k = 0; k < 3; ++k)
                target[x * 3 + k] = Mix(Mix(a[k], b[k], c.weight), Mix(d[k], e[k], c.weight), r.weight);
        }
    }
}

void ScaleNv12(const PictureView& source, LONG width, LONG height, BYTE* out) {
    const std::vector<Tap> columns = Taps(source.width, width);
    const std::vector<Tap> rows = Taps(source.height, height);
    const BYTE* luma = source.bytes;
    const BYTE* chroma = source.bytes + static_cast<size_t>(source.stride) * source.height;
    for (LONG y = 0; y < height; ++y) {
        const Tap& r = rows[static_cast<size_t>(y)];
        const BYTE* top = luma + static_cast<size_t>(r.first) * source.stride;
        const BYTE* bottom = luma + static_cast<size_t>(r.second) * source.stride;
        const LONG nearestRow = r.weight >= 32768 ? r.second : r.first;
        const BYTE* uv = chroma + static_cast<size_t>(nearestRow / 2) * source.stride;
        BYTE* target = out + static_cast<size_t>(y) * width * 3;
        for (LONG x = 0; x < width; ++x) {
            const Tap& c = columns[static_cast<size_t>(x)];
            const BYTE value = Mix(Mix(top[c.first], top[c.second], c.weight),
                                   Mix(bottom[c.first], bottom[c.second], c.weight), r.weight);
            const LONG nearestColumn = c.weight >= 32768 ? c.second : c.first;
            const BYTE* pair = uv + (nearestColumn / 2) * 2;
            YuvToBgr(value, pair[0], pair[1], target + x * 3);
        }
    }
}

}  // namespace

LONG ScaledHeight(const PictureView& source, LONG width) {
    if (source.width <= 0) return 1;
    const LONG height = static_cast<LONG>((static_cast<int64_t>(width) * source.height + source.width / 2) / source.width);
    return height < 1 ? 1 : height;
}

void ScaleToBgr(const PictureView& source, LONG width, LONG height, std::vector<BYTE>& out) {
    out.resize(static_cast<size_t>(width) * height * 3);
    if (source.format == NamedFrameFormat::NV12) ScaleNv12(source, width, height, out.data());
    else ScaleRgb24(source, width, height, out.data());
}
