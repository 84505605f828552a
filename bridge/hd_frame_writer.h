#pragma once
// The webcam's own picture, up to 1920 x 1080, into the named frame exchange
// (common/named_frame_exchange.h), beside the 640 x 480 picture that goes
// into the camera's record: the camera's HD formats take it from there.
// NV12 goes in as the webcam gave it, YUY2 regrouped into NV12 (no colour
// conversion). RGB pictures (and sizes beyond the exchange, odd NV12 sizes)
// are not written: the camera's WriteFrame copies the record's 640 x 480
// picture there, and its HD formats scale it.
#include <windows.h>

#include "bridge/pixel_format.h"
#include "common/named_frame_exchange.h"

class CHdFrameWriter {
public:
    // S_OK, or why the exchange cannot be had (the bridge then feeds the
    // record alone).
    HRESULT Open(const SourcePicture& delivered, const wchar_t* exchangeName = kNamedFrameExchangeName);
    // Whether the delivered pictures are ones this writer passes on.
    bool Writes() const { return m_writes; }
    // One sample of the delivered picture; false when the sample is too
    // short for it or the exchange refused the frame.
    bool Write(const BYTE* data, size_t length);

private:
    CNamedFrameExchange m_exchange;
    SourcePicture m_source;
    bool m_writes = false;
};
