#include "camera/filter/halve_image.h"

#include <cstring>

namespace {

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

void HalveImage(const uint8_t* source, uint8_t* destination) {
    static_assert(kHalfWidth % 4 == 0, "rows are processed four output pixels at a time");
    for (int y = 0; y < kHalfHeight; ++y) {
        const uint8_t* in = source + static_cast<size_t>(2 * y) * kFullRowBytes;
        uint8_t* out = destination + static_cast<size_t>(y) * kHalfRowBytes;
        // Four output pixels (12 bytes) from four 32-bit loads and three
        // 32-bit stores: byte-wise copies make this pass slower than a plain
        // copy of the whole picture. Windows is little-endian on every CPU it
        // runs on, so byte 0 of a load is its low byte. The last load of a
        // row reads one byte past its pixel, still inside the source row.
        for (int x = 0; x < kHalfWidth; x += 4, in += 8 * kPixelBytes, out += 4 * kPixelBytes) {
            const uint32_t a = Load32(in);
            const uint32_t b = Load32(in + 2 * kPixelBytes);
            const uint32_t c = Load32(in + 4 * kPixelBytes);
            const uint32_t d = Load32(in + 6 * kPixelBytes);
            Store32(out, (a & 0x00FFFFFFu) | (b << 24));
            Store32(out + 4, ((b >> 8) & 0x0000FFFFu) | (c << 16));
            Store32(out + 8, ((c >> 16) & 0x000000FFu) | (d << 8));
        }
    }
}
