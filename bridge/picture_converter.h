#pragma once
// Turns one webcam picture into the camera's picture: 640 x 480, B G R,
// rows bottom-up and packed (1,920 bytes), the webcam's picture fitted with
// its aspect kept (FitPicture) and black around it. YUV is converted by
// CYuvToRgb (BT.601, limited range). Scaling takes the nearest source pixel
// to each target pixel's centre (NearestSource), for YUV with the chroma of
// that pixel's pair (YUY2) or 2 x 2 block (NV12). An RGB24 picture of 640 x
// 480 comes out byte for byte (rows put bottom-up when it came top-down).
// The common YUV rows go eight pixels at a time (yuv_rows_vector.h), to
// the same bytes.
#include <windows.h>

#include <cstddef>
#include <vector>

#include "bridge/picture_fit.h"
#include "bridge/pixel_format.h"

// Vector: the common YUV rows with SSE2 where the build has it (the same
// bytes, faster). Scalar: every pixel through the tables; for comparison.
enum class ConversionPath { Vector, Scalar };

class CPictureConverter {
public:
    // source: an uncompressed format (not Mjpg, not Unknown).
    explicit CPictureConverter(const SourcePicture& source, ConversionPath path = ConversionPath::Vector);

    // Writes kCameraPictureBytes at out. False (out untouched) when the
    // sample holds fewer bytes than the picture needs.
    bool Convert(const BYTE* data, size_t length, BYTE* out) const;

    const SourcePicture& Source() const { return m_source; }
    const PictureRect& Rect() const { return m_rect; }

private:
    // Start of the source row shown on row `row` of the rectangle.
    const BYTE* SourceRow(const BYTE* data, int row) const;
    // NV12: start of the chroma row that row `row` of the rectangle uses.
    const BYTE* ChromaRow(const BYTE* data, int row) const;
    void ConvertRow(const BYTE* data, int row, BYTE* target) const;

    SourcePicture m_source;
    PictureRect m_rect;
    size_t m_needed;
    // For each column of the rectangle: byte offset of its pixel in a source
    // row, and of its chroma (YUY2: the U of the pair; NV12: the U of the
    // block, in the chroma row).
    std::vector<size_t> m_pixelOffset;
    std::vector<size_t> m_chromaOffset;
    // For each row of the rectangle: the source row, top-down.
    std::vector<int> m_sourceRow;
    // The common scales get loops without the column tables: one target
    // pixel for each source pixel, or for each source pixel pair.
    enum class Columns { Same, Halved, Mapped } m_columns;
    bool m_vector;
};
