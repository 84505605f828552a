#include "bridge/yuy2_to_nv12.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QV_BRIDGE_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// The pixels [from, width) of one row pair.
void PairRowsScalar(const BYTE* top, const BYTE* bottom, int from, int width, BYTE* lumaTop, BYTE* lumaBottom,
                    BYTE* chroma) {
    for (int x = from; x < width; x += 2) {
        const BYTE* t = top + 2 * x;
        const BYTE* b = bottom + 2 * x;
        lumaTop[x] = t[0];
        lumaTop[x + 1] = t[2];
        lumaBottom[x] = b[0];
        lumaBottom[x + 1] = b[2];
        // pavgb's rounding: (a + b + 1) / 2.
        chroma[x] = static_cast<BYTE>((t[1] + b[1] + 1) >> 1);
        chroma[x + 1] = static_cast<BYTE>((t[3] + b[3] + 1) >> 1);
    }
}

// Returns how many pixels of the row pair it did (a multiple of 16).
int PairRowsVector(const BYTE* top, const BYTE* bottom, int width, BYTE* lumaTop, BYTE* lumaBottom, BYTE* chroma) {
#if defined(QV_BRIDGE_SSE2)
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 2 * x));
        const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 2 * x + 16));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 2 * x));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 2 * x + 16));
        // Even bytes are luma, odd bytes U V U V: exactly NV12's chroma order.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lumaTop + x),
                         _mm_packus_epi16(_mm_and_si128(t0, lowBytes), _mm_and_si128(t1, lowBytes)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lumaBottom + x),
                         _mm_packus_epi16(_mm_and_si128(b0, lowBytes), _mm_and_si128(b1, lowBytes)));
        const __m128i chromaTop = _mm_packus_epi16(_mm_srli_epi16(t0, 8), _mm_srli_epi16(t1, 8));
        const __m128i chromaBottom = _mm_packus_epi16(_mm_srli_epi16(b0, 8), _mm_srli_epi16(b1, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(chroma + x), _mm_avg_epu8(chromaTop, chromaBottom));
    }
    return x;
#else
    (void)top, (void)bottom, (void)width, (void)lumaTop, (void)lumaBottom, (void)chroma;
    return 0;
#endif
}

}  // namespace

void Yuy2ToNv12(const BYTE* yuy2, size_t yuy2Stride, int width, int height, BYTE* nv12) {
    BYTE* chromaPlane = nv12 + static_cast<size_t>(width) * height;
    for (int y = 0; y + 1 < height; y += 2) {
        const BYTE* top = yuy2 + yuy2Stride * y;
        const BYTE* bottom = top + yuy2Stride;
        BYTE* lumaTop = nv12 + static_cast<size_t>(width) * y;
        BYTE* lumaBottom = lumaTop + width;
        BYTE* chroma = chromaPlane + static_cast<size_t>(width) * (y / 2);
        const int done = PairRowsVector(top, bottom, width, lumaTop, lumaBottom, chroma);
        PairRowsScalar(top, bottom, done, width, lumaTop, lumaBottom, chroma);
    }
}
