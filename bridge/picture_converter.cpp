#include "bridge/picture_converter.h"

#include <cstring>

#include "common/yuv_rows_vector.h"
#include "bridge/yuv_to_rgb.h"

CPictureConverter::CPictureConverter(const SourcePicture& source, ConversionPath path)
    : m_source(source),
      m_rect(FitPicture(source.width, source.height)),
      m_needed(PictureBytes(source)),
      m_vector(path == ConversionPath::Vector) {
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
    m_columns = m_rect.width == source.width       ? Columns::Same
                : m_rect.width * 2 == source.width ? Columns::Halved
                                                   : Columns::Mapped;
}

const BYTE* CPictureConverter::SourceRow(const BYTE* data, int row) const {
    const int top = m_sourceRow[row];
    const int stored = m_source.bottomUp ? m_source.height - 1 - top : top;
    return data + m_source.stride * static_cast<size_t>(stored);
}

const BYTE* CPictureConverter::ChromaRow(const BYTE* data, int row) const {
    const size_t planeBytes = m_source.stride * static_cast<size_t>(m_source.height);
    return data + planeBytes + m_source.stride * static_cast<size_t>(m_sourceRow[row] / 2);
}

namespace {

// YUY2 is Y0 U Y1 V for each pixel pair; NV12 has the pair's U V in its
// chroma row. `chroma` steps 4 bytes a pair for YUY2 and 2 for NV12. The
// row's pixels from `first` (even) on are converted here.
template <int ChromaStep, int LumaStep>
void SameWidthYuv(const BYTE* luma, const BYTE* chroma, int first, int width, BYTE* target) {
    const CYuvToRgb& yuv = CYuvToRgb::Instance();
    luma += first * LumaStep;
    chroma += first / 2 * ChromaStep;
    target += first * 3;
    for (int x = first; x < width; x += 2, luma += 2 * LumaStep, chroma += ChromaStep, target += 6) {
        const CYuvToRgb::Chroma shared = yuv.ChromaOf(chroma[0], chroma[ChromaStep / 2]);
        yuv.Convert(luma[0], shared, target);
        yuv.Convert(luma[LumaStep], shared, target + 3);
    }
}

// Halved: each target pixel is the second pixel of a source pair, with
// that pair's chroma.
template <int ChromaStep, int LumaStep>
void HalvedYuv(const BYTE* luma, const BYTE* chroma, int first, int width, BYTE* target) {
    const CYuvToRgb& yuv = CYuvToRgb::Instance();
    luma += first * 2 * LumaStep;
    chroma += first * ChromaStep;
    target += first * 3;
    for (int x = first; x < width; ++x, luma += 2 * LumaStep, chroma += ChromaStep, target += 3)
        yuv.Convert(luma[LumaStep], chroma[0], chroma[ChromaStep / 2], target);
}

}  // namespace

void CPictureConverter::ConvertRow(const BYTE* data, int row, BYTE* target) const {
    const BYTE* source = SourceRow(data, row);
    const int width = m_rect.width;
    const CYuvToRgb& yuv = CYuvToRgb::Instance();
    switch (m_source.format) {
    case PixelFormat::Rgb24:
        if (m_columns == Columns::Same) {
            std::memcpy(target, source, static_cast<size_t>(width) * 3);
        } else {
            for (int x = 0; x < width; ++x, target += 3) std::memcpy(target, source + m_pixelOffset[x], 3);
        }
        break;
    case PixelFormat::Rgb32:
        for (int x = 0; x < width; ++x, target += 3) std::memcpy(target, source + m_pixelOffset[x], 3);
        break;
    case PixelFormat::Yuy2:
        if (m_columns == Columns::Same) {
            const int done = m_vector ? SameWidthYuy2Vector(source, width, target) : 0;
            SameWidthYuv<4, 2>(source, source + 1, done, width, target);
        } else if (m_columns == Columns::Halved) {
            const int done = m_vector ? HalvedYuy2Vector(source, width, target) : 0;
            HalvedYuv<4, 2>(source, source + 1, done, width, target);
        } else {
            for (int x = 0; x < width; ++x, target += 3) {
                const BYTE* chroma = source + m_chromaOffset[x];
                yuv.Convert(source[m_pixelOffset[x]], chroma[0], chroma[2], target);
            }
        }
        break;
    case PixelFormat::Nv12: {
        const BYTE* chromaRow = ChromaRow(data, row);
        if (m_columns == Columns::Same) {
            const int done = m_vector ? SameWidthNv12Vector(source, chromaRow, width, target) : 0;
            SameWidthYuv<2, 1>(source, chromaRow, done, width, target);
        } else if (m_columns == Columns::Halved) {
            const int done = m_vector ? HalvedNv12Vector(source, chromaRow, width, target) : 0;
            HalvedYuv<2, 1>(source, chromaRow, done, width, target);
        } else {
            for (int x = 0; x < width; ++x, target += 3) {
                const BYTE* chroma = chromaRow + m_chromaOffset[x];
                yuv.Convert(source[m_pixelOffset[x]], chroma[0], chroma[1], target);
            }
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
    // Rows go in the order that reads the source forward: a fresh sample is
    // not in the cache, and the prefetcher follows a forward stream best.
    for (int step = 0; step < kCameraHeight; ++step) {
        const int y = m_source.bottomUp ? kCameraHeight - 1 - step : step;
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
