#include "camera/filter/output_pin_formats.h"

#include <uuids.h>

#include <algorithm>

namespace {

constexpr LONG kBaseWidth = 160;
constexpr LONG kBaseHeight = 120;
constexpr WORD kBitCount = 24;
constexpr SIZE kCroppingStep = {80, 60};
constexpr LONG kMinBitsPerSecond = 23040;
constexpr LONG kBitsPerSecondPerPixel = 1200;
constexpr int kLargeRate = 30;
constexpr REFERENCE_TIME kSmallSampleDuration = 666666;

struct LargeFormat {
    LONG width;
    LONG height;
    bool nv12;
};
constexpr LargeFormat kLargeFormats[] = {{1280, 720, true}, {1280, 720, false}, {1920, 1080, true}, {1920, 1080, false}};
constexpr int kFirstLargePosition = kFullSizePosition + 1;
static_assert(kFirstLargePosition + 4 - 1 == kLastListedPosition, "one list position for each large format");

}  // namespace

bool IsLargeSize(LONG width, LONG height) {
    return (width == 1280 && height == 720) || (width == 1920 && height == 1080);
}

HRESULT MakeListedVideoType(int position, CMediaType* type) {
    if (position < kFirstListedPosition || position > kLastListedPosition) return E_INVALIDARG;
    type->Clear();
    auto* format = reinterpret_cast<VIDEOINFOHEADER*>(type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!format) return E_OUTOFMEMORY;

    BITMAPINFOHEADER& header = format->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biPlanes = 1;
    bool nv12 = false;
    if (position < kFirstLargePosition) {
        header.biWidth = kBaseWidth * position;
        header.biHeight = kBaseHeight * position;  // positive: bottom-up rows
        format->AvgTimePerFrame = kListedTimePerFrame;
    } else {
        const LargeFormat& large = kLargeFormats[position - kFirstLargePosition];
        header.biWidth = large.width;
        header.biHeight = large.height;  // RGB24: bottom-up; NV12 is top-down whatever the sign
        format->AvgTimePerFrame = kLargeTimePerFrame;
        nv12 = large.nv12;
    }
    if (nv12) {
        header.biBitCount = 12;
        header.biCompression = MAKEFOURCC('N', 'V', '1', '2');
        header.biSizeImage = header.biWidth * header.biHeight * 3 / 2;
    } else {
        header.biBitCount = kBitCount;
        header.biCompression = BI_RGB;
        header.biSizeImage = RgbRowBytes(header.biWidth, kBitCount) * header.biHeight;
    }

    type->SetType(&MEDIATYPE_Video);
    type->SetSubtype(nv12 ? &MEDIASUBTYPE_NV12 : &MEDIASUBTYPE_RGB24);
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
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !type.bFixedSizeSamples) return false;
    const bool rgb = IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB24);
    if (!rgb && !IsEqualGUID(type.subtype, MEDIASUBTYPE_NV12)) return false;
    // The block is read as a VIDEOINFOHEADER whatever its format type says;
    // one too short to hold it is refused rather than read past its end.
    const VIDEOINFOHEADER* format = VideoHeaderOf(type);
    if (!format) return false;
    const LONG width = format->bmiHeader.biWidth;
    const LONG height = format->bmiHeader.biHeight;
    if (IsLargeSize(width, height)) return true;
    return rgb && ((width == 320 && height == 240) || (width == 640 && height == 480));
}

REFERENCE_TIME SampleDurationOf(const AM_MEDIA_TYPE& type) {
    const VIDEOINFOHEADER* format = VideoHeaderOf(type);
    if (!format || !IsLargeSize(format->bmiHeader.biWidth, format->bmiHeader.biHeight)) return kSmallSampleDuration;
    if (format->AvgTimePerFrame <= 0) return kLargeTimePerFrame;
    return std::min(std::max(format->AvgTimePerFrame, kLargeTimePerFrame), kMaxFrameInterval);
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
    caps->MaxFrameInterval = kMaxFrameInterval;
    if (IsLargeSize(size.cx, size.cy)) {
        const LONG bitsPerFrame = size.cx * size.cy * header.biBitCount;
        caps->MinFrameInterval = kLargeTimePerFrame;
        caps->MinBitsPerSecond = bitsPerFrame / static_cast<LONG>(kMaxFrameInterval / 10000000);  // one frame in 5 s
        caps->MaxBitsPerSecond = bitsPerFrame * kLargeRate;
        return;
    }
    caps->MinFrameInterval = kMinFrameInterval;
    caps->MinBitsPerSecond = kMinBitsPerSecond;
    caps->MaxBitsPerSecond = size.cx * size.cy * kBitsPerSecondPerPixel;
}
