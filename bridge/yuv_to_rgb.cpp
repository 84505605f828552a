#include "bridge/yuv_to_rgb.h"

const CYuvToRgb& CYuvToRgb::Instance() {
    static const CYuvToRgb tables;
    return tables;
}

CYuvToRgb::CYuvToRgb() {
    for (int i = 0; i < 256; ++i) {
        m_luma[i] = 298 * (i - 16) + 128;
        m_redV[i] = 409 * (i - 128);
        m_greenU[i] = -100 * (i - 128);
        m_greenV[i] = -208 * (i - 128);
        m_blueU[i] = 516 * (i - 128);
    }
    for (int i = 0; i < 1024; ++i) {
        const int value = i - kClampOffset;
        m_clamp[i] = static_cast<BYTE>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}
