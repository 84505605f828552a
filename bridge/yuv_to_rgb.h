#pragma once
// BT.601 limited range (Y 16..235, U and V 16..240) to full-range RGB, in
// fixed point with 8 fraction bits:
//   C = Y - 16, D = U - 128, E = V - 128
//   R = clamp((298 C + 409 E + 128) >> 8)
//   G = clamp((298 C - 100 D - 208 E + 128) >> 8)
//   B = clamp((298 C + 516 D + 128) >> 8)
// the usual inverse of Y = ((66 R + 129 G + 25 B + 128) >> 8) + 16,
// U = ((-38 R - 74 G + 112 B + 128) >> 8) + 128,
// V = ((112 R - 94 G - 18 B + 128) >> 8) + 128.
// The products are looked up, not multiplied: a picture has a few hundred
// thousand pixels and each needs five of them.
#include <windows.h>

class CYuvToRgb {
public:
    static const CYuvToRgb& Instance();

    // The chroma's share of B, G and R, for the pixels that share it.
    struct Chroma {
        int blue;
        int green;
        int red;
    };
    Chroma ChromaOf(BYTE u, BYTE v) const { return {m_blueU[u], m_greenU[u] + m_greenV[v], m_redV[v]}; }

    // Writes B, G, R.
    void Convert(BYTE y, const Chroma& chroma, BYTE* bgr) const {
        const int luma = m_luma[y];
        bgr[0] = Clamp(luma + chroma.blue);
        bgr[1] = Clamp(luma + chroma.green);
        bgr[2] = Clamp(luma + chroma.red);
    }
    void Convert(BYTE y, BYTE u, BYTE v, BYTE* bgr) const { Convert(y, ChromaOf(u, v), bgr); }

private:
    CYuvToRgb();
    // Sums lie in [-70688, 136882]; shifted by 8 bits, in [-277, 534].
    static constexpr int kClampOffset = 384;
    BYTE Clamp(int sum) const { return m_clamp[(sum >> 8) + kClampOffset]; }

    int m_luma[256];
    int m_redV[256];
    int m_greenU[256];
    int m_greenV[256];
    int m_blueU[256];
    BYTE m_clamp[1024];
};
