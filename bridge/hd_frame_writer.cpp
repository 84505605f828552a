#include "bridge/hd_frame_writer.h"

#include "bridge/yuy2_to_nv12.h"

namespace {

// What the sink's pacing lets through at most.
const DWORD kWrittenFrameRate = 30;

bool FitsTheExchange(const SourcePicture& picture) {
    return picture.width <= kNamedFrameMaxWidth && picture.height <= kNamedFrameMaxHeight;
}

}  // namespace

HRESULT CHdFrameWriter::Open(const SourcePicture& delivered, const wchar_t* exchangeName) {
    m_source = delivered;
    const bool even = delivered.width % 2 == 0 && delivered.height % 2 == 0;
    const bool yuv = delivered.format == PixelFormat::Nv12 || delivered.format == PixelFormat::Yuy2;
    m_writes = yuv && even && FitsTheExchange(delivered);
    if (!m_writes) return S_FALSE;
    const HRESULT hr = m_exchange.Open(exchangeName);
    if (FAILED(hr)) m_writes = false;
    return hr;
}

bool CHdFrameWriter::Write(const BYTE* data, size_t length) {
    if (!m_writes || data == nullptr || length < PictureBytes(m_source)) return false;
    const LONG width = m_source.width, height = m_source.height;
    HRESULT hr;
    if (m_source.format == PixelFormat::Yuy2) {
        // Regrouped straight into the mapping, under its lock: one pass over
        // the picture instead of a regrouping and a copy.
        hr = m_exchange.WriteFrameWith(width, height, NamedFrameFormat::NV12, width, kWrittenFrameRate,
                                       [&](BYTE* frame) { Yuy2ToNv12(data, m_source.stride, width, height, frame); });
    } else {
        hr = m_exchange.WriteFrame(width, height, NamedFrameFormat::NV12, static_cast<LONG>(m_source.stride),
                                   kWrittenFrameRate, data);
    }
    return hr == S_OK;
}
