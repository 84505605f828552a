#include "bridge/yuy2_to_nv12.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QV_BRIDGE_SSE2 1
#include <emmintrin.h>

#include <cstdint>
#endif

namespace {

// Pixels [from, width) of one row. The first row of a pair puts its chroma
// in place; the second averages its own into it, with pavgb's rounding,
// (a + b + 1) / 2.
void RowScalar(const BYTE* row, int from, int width, bool second, BYTE* luma, BYTE* chroma) {
    for (int x = from; x < width; ++x) {
        luma[x] = row[2 * x];
        const BYTE c = row[2 * x + 1];
        chroma[x] = second ? static_cast<BYTE>((chroma[x] + c + 1) >> 1) : c;
    }
}

// Returns how many pixels of the row it did (a multiple of 16).
int RowVector(const BYTE* row, int width, bool second, BYTE* luma, BYTE* chroma) {
#if defined(QV_BRIDGE_SSE2)
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    // Luma is written past the caches where it can be (16-byte aligned
    // rows): it is not read again here, and the cache lines it would
    // otherwise fetch first cost as much as the source's own reads. The
    // chroma row stays cached for the pair's second row.
    const bool stream = (reinterpret_cast<uintptr_t>(luma) & 15) == 0;
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x + 16));
        // Even bytes are luma, odd bytes U V U V: exactly NV12's chroma order.
        const __m128i y = _mm_packus_epi16(_mm_and_si128(p0, lowBytes), _mm_and_si128(p1, lowBytes));
        if (stream)
            _mm_stream_si128(reinterpret_cast<__m128i*>(luma + x), y);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), y);
        __m128i c = _mm_packus_epi16(_mm_srli_epi16(p0, 8), _mm_srli_epi16(p1, 8));
        if (second) c = _mm_avg_epu8(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(chroma + x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(chroma + x), c);
    }
    return x;
#else
    (void)row, (void)width, (void)second, (void)luma, (void)chroma;
    return 0;
#endif
}

}  // namespace

// Row by row rather than by row pairs: the source is then read as one
// stream, as a copy reads it (measured: pairs of rows took twice a memcpy's
// time from memory, single rows about 1.2 times, and 1.0 with the luma
// streamed); the chroma row a pair
// shares is still in the cache when the pair's second row comes.
void Yuy2ToNv12(const BYTE* yuy2, size_t yuy2Stride, int width, int height, BYTE* nv12) {
    BYTE* chromaPlane = nv12 + static_cast<size_t>(width) * height;
    for (int y = 0; y < height; ++y) {
        const BYTE* row = yuy2 + yuy2Stride * y;
        BYTE* luma = nv12 + static_cast<size_t>(width) * y;
        BYTE* chroma = chromaPlane + static_cast<size_t>(width) * (y / 2);
        const bool second = (y & 1) != 0;
        const int done = RowVector(row, width, second, luma, chroma);
        RowScalar(row, done, width, second, luma, chroma);
    }
#if defined(QV_BRIDGE_SSE2)
    _mm_sfence();  // the streamed luma is in memory before anyone reads it
#endif
}
