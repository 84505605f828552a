#include "camera/filter/output_pin_formats.h"

#include <uuids.h>

namespace {

constexpr LONG kBaseWidth = 160;
constexpr LONG kBaseHeight = 120;
constexpr WORD kBitCount = 24;
constexpr SIZE kCroppingStep = {80, 60};
constexpr LONG kMinBitsPerSecond = 23040;
constexpr LONG kBitsPerSecondPerPixel = 1200;

}  // namespace

HRESULT MakeListedVideoType(int position, CMediaType* type) {
    if (position < kFirstListedPosition || position > kLastListedPosition) return E_INVALIDARG;
    type->Clear();
    auto* format = reinterpret_cast<VIDEOINFOHEADER*>(type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!format) return E_OUTOFMEMORY;

    BITMAPINFOHEADER& header = format->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = kBaseWidth * position;
    header.biHeight = kBaseHeight * position;  // positive: bottom-up rows
    header.biPlanes = 1;
    header.biBitCount = kBitCount;
    header.biCompression = BI_RGB;
    header.biSizeImage = RgbRowBytes(header.biWidth, kBitCount) * header.biHeight;
    format->AvgTimePerFrame = kListedTimePerFrame;

    type->SetType(&MEDIATYPE_Video);
    type->SetSubtype(&MEDIASUBTYPE_RGB24);
    type->SetFormatType(&FORMAT_VideoInfo);
    type->SetTemporalCompression(FALSE);
    type->SetSampleSize(header.biSizeImage);
    return S_OK;
}

const VIDEOINFOHEADER* VideoHeaderOf(const AM_MEDIA_TYPE& type) {
    if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER)) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

bool IsConnectableType(const AM_MEDIA_TYPE& type) {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !type.bFixedSizeSamples ||
        !IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB24))
        return false;
    // The block is read as a VIDEOINFOHEADER whatever its format type says;
    // one too short to hold it is refused rather than read past its end.
    const VIDEOINFOHEADER* format = VideoHeaderOf(type);
    if (!format) return false;
    const LONG width = format->bmiHeader.biWidth;
    const LONG height = format->bmiHeader.biHeight;
    return (width == 320 && height == 240) || (width == 640 && height == 480);
}

void FillStreamCaps(const BITMAPINFOHEADER& header, VIDEO_STREAM_CONFIG_CAPS* caps) {
    *caps = VIDEO_STREAM_CONFIG_CAPS();
    const SIZE size = {header.biWidth, header.biHeight};
    caps->guid = FORMAT_VideoInfo;
    caps->VideoStandard = 0;
    caps->InputSize = size;
    caps->MinCroppingSize = kCroppingStep;
    caps->MaxCroppingSize = size;
    caps->CropGranularityX = kCroppingStep.cx;
    caps->CropGranularityY = kCroppingStep.cy;
    caps->MinOutputSize = kCroppingStep;
    caps->MaxOutputSize = size;
    caps->MinFrameInterval = kMinFrameInterval;
    caps->MaxFrameInterval = kMaxFrameInterval;
    caps->MinBitsPerSecond = kMinBitsPerSecond;
    caps->MaxBitsPerSecond = size.cx * size.cy * kBitsPerSecondPerPixel;
}
