#pragma once
// The webcam's own picture, up to 1920 x 1080, into the named frame exchange
// (common/named_frame_exchange.h), beside the 640 x 480 picture that goes
// into the camera's record: the camera's HD formats take it from there.
// NV12 goes in as the webcam gave it (or as the bridge decoded its MJPG),
// YUY2 regrouped into NV12 (no colour conversion), RGB24 and RGB32
// converted into NV12. Sizes beyond the exchange and odd sizes are not
// written: the camera's WriteFrame copies the record's 640 x 480 picture
// there, and its HD formats scale it.
#include <windows.h>

#include <string>
#include <vector>

#include "bridge/pixel_format.h"
#include "common/named_frame_exchange.h"

constexpr DWORD kExchangeRetryMs = 2000;

class CHdFrameWriter {
public:
    // S_OK, or why the exchange cannot be had (the bridge then feeds the
    // record alone; among the reasons kExchangeForeignOwner and
    // kExchangeLowerIntegrity). `picture`: what the sink writes
    // (DecodedPicture of what the graph delivers).
    HRESULT Open(const SourcePicture& picture, const wchar_t* exchangeName = kNamedFrameExchangeName);
    // Whether the delivered pictures are ones this writer passes on.
    bool Writes() const { return m_writes; }
    // One sample of the delivered picture; false when the sample is too
    // short for it, the exchange is not open or it refused the frame. An
    // exchange that could not be opened is tried again every
    // kExchangeRetryMs: a mapping someone else held under the name goes
    // when they close it.
    bool Write(const BYTE* data, size_t length);

private:
    CNamedFrameExchange m_exchange;
    SourcePicture m_source;
    std::wstring m_name;
    DWORD m_lastTry = 0;
    bool m_writes = false;
    // RGB converted here, outside the exchange's lock, then copied in.
    std::vector<BYTE> m_converted;
};
