#include "bridge/picture_converter.h"

#include <cstring>

#include "bridge/yuv_to_rgb.h"

CPictureConverter::CPictureConverter(const SourcePicture& source)
    : m_source(source), m_rect(FitPicture(source.width, source.height)), m_needed(PictureBytes(source)) {
    m_pixelOffset.resize(m_rect.width);
    m_chromaOffset.resize(m_rect.width);
    for (int x = 0; x < m_rect.width; ++x) {
        const size_t column = static_cast<size_t>(NearestSource(x, m_rect.width, source.width));
        const size_t pair = column & ~size_t(1);
        switch (source.format) {
        case PixelFormat::Rgb24: m_pixelOffset[x] = column * 3; break;
        case PixelFormat::Rgb32: m_pixelOffset[x] = column * 4; break;
        case PixelFormat::Yuy2:
            m_pixelOffset[x] = column * 2;
            m_chromaOffset[x] = pair * 2 + 1;
            break;
        case PixelFormat::Nv12:
            m_pixelOffset[x] = column;
            m_chromaOffset[x] = pair;
            break;
        default: break;
        }
    }
    m_sourceRow.resize(m_rect.height);
    for (int y = 0; y < m_rect.height; ++y) m_sourceRow[y] = NearestSource(y, m_rect.height, source.height);
    m_sameWidth = m_rect.width == source.width;
}

const BYTE* CPictureConverter::SourceRow(const BYTE* data, int row) const {
    const int top = m_sourceRow[row];
    const int stored = m_source.bottomUp ? m_source.height - 1 - top : top;
    return data + m_source.stride * static_cast<size_t>(stored);
}

void CPictureConverter::ConvertRow(const BYTE* data, int row, BYTE* target) const {
    const BYTE* source = SourceRow(data, row);
    const int width = m_rect.width;
    switch (m_source.format) {
    case PixelFormat::Rgb24:
        if (m_sameWidth) {
            std::memcpy(target, source, static_cast<size_t>(width) * 3);
        } else {
            for (int x = 0; x < width; ++x, target += 3) std::memcpy(target, source + m_pixelOffset[x], 3);
        }
        break;
    case PixelFormat::Rgb32:
        for (int x = 0; x < width; ++x, target += 3) std::memcpy(target, source + m_pixelOffset[x], 3);
        break;
    case PixelFormat::Yuy2: {
        const CYuvToRgb& yuv = CYuvToRgb::Instance();
        for (int x = 0; x < width; ++x, target += 3) {
            const BYTE* chroma = source + m_chromaOffset[x];
            yuv.Convert(source[m_pixelOffset[x]], chroma[0], chroma[2], target);
        }
        break;
    }
    case PixelFormat::Nv12: {
        const CYuvToRgb& yuv = CYuvToRgb::Instance();
        const size_t planeBytes = m_source.stride * static_cast<size_t>(m_source.height);
        const BYTE* chromaRow = data + planeBytes + m_source.stride * static_cast<size_t>(m_sourceRow[row] / 2);
        for (int x = 0; x < width; ++x, target += 3) {
            const BYTE* chroma = chromaRow + m_chromaOffset[x];
            yuv.Convert(source[m_pixelOffset[x]], chroma[0], chroma[1], target);
        }
        break;
    }
    default: break;
    }
}

bool CPictureConverter::Convert(const BYTE* data, size_t length, BYTE* out) const {
    if (data == nullptr || length < m_needed || m_needed == 0) return false;
    const size_t barLeft = static_cast<size_t>(m_rect.x) * 3;
    const size_t barRight = static_cast<size_t>(kCameraWidth - m_rect.x - m_rect.width) * 3;
    // The camera's rows are bottom-up: picture row y is memory row 479 - y.
    for (int y = 0; y < kCameraHeight; ++y) {
        BYTE* target = out + static_cast<size_t>(kCameraHeight - 1 - y) * kCameraRowBytes;
        const int row = y - m_rect.y;
        if (row < 0 || row >= m_rect.height) {
            std::memset(target, 0, kCameraRowBytes);
            continue;
        }
        if (barLeft != 0) std::memset(target, 0, barLeft);
        ConvertRow(data, row, target + barLeft);
        if (barRight != 0) std::memset(target + kCameraRowBytes - barRight, 0, barRight);
    }
    return true;
}
