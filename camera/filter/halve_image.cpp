#include "camera/filter/halve_image.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#define QV_HALVE_WITH_SSSE3 1
#endif

namespace {

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

void HalveImagePortable(const uint8_t* source, uint8_t* destination) {
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

#ifdef QV_HALVE_WITH_SSSE3

namespace {

// Eight output pixels (24 bytes) from sixteen source pixels (48 bytes, three
// 16-byte loads) by byte shuffles: source pixels 0, 2, ..., 14 sit at byte
// offsets 0, 6, ..., 42. A mask byte of -128 yields 0, so two shuffled loads
// can be OR-ed together.
__attribute__((target("ssse3"))) void HalveImageSsse3(const uint8_t* source, uint8_t* destination) {
    static_assert(kHalfWidth % 8 == 0, "rows are processed eight output pixels at a time");
    const __m128i lowFrom0 = _mm_setr_epi8(0, 1, 2, 6, 7, 8, 12, 13, 14, -128, -128, -128, -128, -128, -128, -128);
    const __m128i lowFrom1 = _mm_setr_epi8(-128, -128, -128, -128, -128, -128, -128, -128, -128, 2, 3, 4, 8, 9, 10, 14);
    const __m128i highFrom1 =
        _mm_setr_epi8(15, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128);
    const __m128i highFrom2 =
        _mm_setr_epi8(-128, 0, 4, 5, 6, 10, 11, 12, -128, -128, -128, -128, -128, -128, -128, -128);
    for (int y = 0; y < kHalfHeight; ++y) {
        const uint8_t* in = source + static_cast<size_t>(2 * y) * kFullRowBytes;
        uint8_t* out = destination + static_cast<size_t>(y) * kHalfRowBytes;
        for (int x = 0; x < kHalfWidth; x += 8, in += 16 * kPixelBytes, out += 8 * kPixelBytes) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
            const __m128i low = _mm_or_si128(_mm_shuffle_epi8(a, lowFrom0), _mm_shuffle_epi8(b, lowFrom1));
            const __m128i high = _mm_or_si128(_mm_shuffle_epi8(b, highFrom1), _mm_shuffle_epi8(c, highFrom2));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), high);
        }
    }
}

bool CpuHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}

}  // namespace

void HalveImage(const uint8_t* source, uint8_t* destination) {
    static const bool ssse3 = CpuHasSsse3();
    if (ssse3) {
        HalveImageSsse3(source, destination);
    } else {
        HalveImagePortable(source, destination);
    }
}

bool HalveImageUsesShuffles() { return CpuHasSsse3(); }

#else

void HalveImage(const uint8_t* source, uint8_t* destination) { HalveImagePortable(source, destination); }

bool HalveImageUsesShuffles() { return false; }

#endif
