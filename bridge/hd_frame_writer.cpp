#include "bridge/hd_frame_writer.h"

#include "bridge/rgb_to_nv12.h"
#include "bridge/yuy2_to_nv12.h"

namespace {

// What the sink's pacing lets through at most.
const DWORD kWrittenFrameRate = 30;

bool FitsTheExchange(const SourcePicture& picture) {
    return picture.width <= kNamedFrameMaxWidth && picture.height <= kNamedFrameMaxHeight;
}

}  // namespace

HRESULT CHdFrameWriter::Open(const SourcePicture& picture, const wchar_t* exchangeName) {
    m_source = picture;
    const bool even = picture.width % 2 == 0 && picture.height % 2 == 0;
    const bool known = picture.format == PixelFormat::Nv12 || picture.format == PixelFormat::Yuy2 ||
                       picture.format == PixelFormat::Rgb24 || picture.format == PixelFormat::Rgb32;
    m_writes = known && even && FitsTheExchange(picture);
    if (!m_writes) return S_FALSE;
    m_name = exchangeName;
    m_lastTry = ::GetTickCount();
    return m_exchange.Open(exchangeName);
}

bool CHdFrameWriter::Write(const BYTE* data, size_t length) {
    if (!m_writes || data == nullptr || length < PictureBytes(m_source)) return false;
    if (!m_exchange.IsOpen()) {
        const DWORD now = ::GetTickCount();
        if (now - m_lastTry < kExchangeRetryMs) return false;
        m_lastTry = now;
        if (FAILED(m_exchange.Open(m_name.c_str()))) return false;
    }
    const LONG width = m_source.width, height = m_source.height;
    HRESULT hr;
    if (m_source.format == PixelFormat::Rgb24 || m_source.format == PixelFormat::Rgb32) {
        // A colour conversion takes several times a copy's time: done before
        // the lock, so that readers never wait for it.
        m_converted.resize(static_cast<size_t>(width) * height * 3 / 2);
        const RgbLayout layout = {m_source.format == PixelFormat::Rgb24 ? 3 : 4, m_source.stride, m_source.bottomUp};
        RgbToNv12(data, layout, width, height, m_converted.data());
        hr = m_exchange.WriteFrame(width, height, NamedFrameFormat::NV12, width, kWrittenFrameRate,
                                   m_converted.data());
    } else if (m_source.format == PixelFormat::Yuy2) {
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
