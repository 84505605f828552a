#include "common/yuv_rows_vector.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QV_YUV_ROWS_SSE2 1
#include <emmintrin.h>

#include <cstring>
#endif

#if defined(QV_YUV_ROWS_SSE2)

namespace {

// Two 16-bit factors in each 32-bit lane, low one first.
inline __m128i Pair(short low, short high) {
    return _mm_set1_epi32(static_cast<int>((static_cast<unsigned>(static_cast<unsigned short>(high)) << 16) |
                                           static_cast<unsigned short>(low)));
}

struct FourPixels {
    __m128i blue, green, red;  // 32-bit lanes, fraction bits shifted out
};

// pmaddwd multiplies the 16-bit halves of each lane and adds the two
// products in 32 bits: with (Y, 1) lanes and (U - 128, V - 128) lanes each
// call is one term of the formulas, exact, with no overflow. The arithmetic
// shift is the scalar path's >> 8.
inline FourPixels Convert4(__m128i lumaOne, __m128i chroma) {
    const __m128i luma = _mm_madd_epi16(lumaOne, Pair(298, 128 - 298 * 16));
    FourPixels out;
    out.blue = _mm_srai_epi32(_mm_add_epi32(luma, _mm_madd_epi16(chroma, Pair(516, 0))), 8);
    out.green = _mm_srai_epi32(_mm_add_epi32(luma, _mm_madd_epi16(chroma, Pair(-100, -208))), 8);
    out.red = _mm_srai_epi32(_mm_add_epi32(luma, _mm_madd_epi16(chroma, Pair(0, 409))), 8);
    return out;
}

// Four pixels held as B G R 0 in 32-bit lanes: each 64-bit lane closes its
// gap with a shift, leaving its two pixels' 6 bytes at the bottom of the lane.
inline __m128i PackPairs(__m128i bgrx) {
    const __m128i firstPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i secondPixel = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                              static_cast<int>(0xFF000000u));
    return _mm_or_si128(_mm_and_si128(bgrx, firstPixel), _mm_and_si128(_mm_srli_epi64(bgrx, 8), secondPixel));
}

// Exactly the 6 bytes at the bottom of `six`.
inline void StoreSix(__m128i six, BYTE* to) {
    const int low = _mm_cvtsi128_si32(six);
    const unsigned short high = static_cast<unsigned short>(_mm_extract_epi16(six, 2));
    std::memcpy(to, &low, 4);
    std::memcpy(to + 4, &high, 2);
}

// Eight pixels to 24 bytes of B G R. lumaOne*: (Y, 1) lanes of pixels 0-3
// and 4-7; chroma*: their (U - 128, V - 128) lanes. SSE2 has no byte
// shuffle to pack 24 bytes together; four 8-byte stores of 6 bytes each
// are cheaper (measured), each spilling 2 zero bytes that the next store,
// or the row's next pixel, overwrites. A block that ends the row must not
// spill: its last pixel pair is stored exactly.
inline void Store8(__m128i lumaOneLow, __m128i lumaOneHigh, __m128i chromaLow, __m128i chromaHigh, BYTE* bgr,
                   bool endsRow) {
    const FourPixels low = Convert4(lumaOneLow, chromaLow);
    const FourPixels high = Convert4(lumaOneHigh, chromaHigh);
    // The signed then unsigned saturating packs clamp to 0..255, as the
    // scalar path's table does.
    const __m128i zero = _mm_setzero_si128();
    const __m128i blueGreen =
        _mm_packus_epi16(_mm_packs_epi32(low.blue, high.blue), _mm_packs_epi32(low.green, high.green));
    const __m128i red = _mm_packus_epi16(_mm_packs_epi32(low.red, high.red), zero);
    const __m128i bg = _mm_unpacklo_epi8(blueGreen, _mm_srli_si128(blueGreen, 8));
    const __m128i r0 = _mm_unpacklo_epi8(red, zero);
    const __m128i first = PackPairs(_mm_unpacklo_epi16(bg, r0));
    const __m128i second = PackPairs(_mm_unpackhi_epi16(bg, r0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr), first);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr + 6), _mm_srli_si128(first, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr + 12), second);
    if (endsRow)
        StoreSix(_mm_srli_si128(second, 8), bgr + 18);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr + 18), _mm_srli_si128(second, 8));
}

inline __m128i Centred(__m128i chroma) { return _mm_sub_epi16(chroma, _mm_set1_epi16(128)); }

// Eight pixels in 16-bit lanes, with the chroma of pixel pairs: U0 V0 U1 V1
// U2 V2 U3 V3 (centred), each pair's for both of its pixels.
inline void Store8Paired(__m128i luma, __m128i chroma, BYTE* bgr, bool endsRow) {
    const __m128i one = _mm_set1_epi16(1);
    Store8(_mm_unpacklo_epi16(luma, one), _mm_unpackhi_epi16(luma, one), _mm_unpacklo_epi32(chroma, chroma),
           _mm_unpackhi_epi32(chroma, chroma), bgr, endsRow);
}

inline __m128i Load16(const BYTE* from) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)); }
inline __m128i Load8(const BYTE* from) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from)); }

}  // namespace

bool VectorYuvRowsAvailable() { return true; }

int SameWidthYuy2Vector(const BYTE* yuy2, int width, BYTE* bgr) {
    const int done = width / 8 * 8;
    for (int x = 0; x < done; x += 8, yuy2 += 16, bgr += 24) {
        const __m128i pairs = Load16(yuy2);
        Store8Paired(_mm_and_si128(pairs, _mm_set1_epi16(0xFF)), Centred(_mm_srli_epi16(pairs, 8)), bgr,
                     x + 8 == width);
    }
    return done;
}

int HalvedYuy2Vector(const BYTE* yuy2, int width, BYTE* bgr) {
    // Each 32-bit lane is one pair, Y0 U Y1 V: Y1 becomes a (Y, 1) lane as
    // it is, U V a chroma lane.
    const __m128i lumaOnly = _mm_set1_epi32(0xFF);
    const __m128i one = _mm_set1_epi32(0x10000);
    const int done = width / 8 * 8;
    for (int x = 0; x < done; x += 8, yuy2 += 32, bgr += 24) {
        const __m128i low = Load16(yuy2);
        const __m128i high = Load16(yuy2 + 16);
        Store8(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(low, 16), lumaOnly), one),
               _mm_or_si128(_mm_and_si128(_mm_srli_epi32(high, 16), lumaOnly), one),
               Centred(_mm_srli_epi16(low, 8)), Centred(_mm_srli_epi16(high, 8)), bgr, x + 8 == width);
    }
    return done;
}

int SameWidthNv12Vector(const BYTE* luma, const BYTE* chroma, int width, BYTE* bgr) {
    const __m128i zero = _mm_setzero_si128();
    const int done = width / 8 * 8;
    for (int x = 0; x < done; x += 8, luma += 8, chroma += 8, bgr += 24)
        Store8Paired(_mm_unpacklo_epi8(Load8(luma), zero), Centred(_mm_unpacklo_epi8(Load8(chroma), zero)), bgr,
                     x + 8 == width);
    return done;
}

int HalvedNv12Vector(const BYTE* luma, const BYTE* chroma, int width, BYTE* bgr) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const int done = width / 8 * 8;
    for (int x = 0; x < done; x += 8, luma += 16, chroma += 16, bgr += 24) {
        const __m128i second = _mm_srli_epi16(Load16(luma), 8);
        const __m128i uv = Load16(chroma);
        Store8(_mm_unpacklo_epi16(second, one), _mm_unpackhi_epi16(second, one),
               Centred(_mm_unpacklo_epi8(uv, zero)), Centred(_mm_unpackhi_epi8(uv, zero)), bgr, x + 8 == width);
    }
    return done;
}

#else  // no SSE2 at build time: the scalar path does every pixel

bool VectorYuvRowsAvailable() { return false; }
int SameWidthYuy2Vector(const BYTE*, int, BYTE*) { return 0; }
int HalvedYuy2Vector(const BYTE*, int, BYTE*) { return 0; }
int SameWidthNv12Vector(const BYTE*, const BYTE*, int, BYTE*) { return 0; }
int HalvedNv12Vector(const BYTE*, const BYTE*, int, BYTE*) { return 0; }

#endif
