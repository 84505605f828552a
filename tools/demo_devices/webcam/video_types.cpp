#include "tools/demo_devices/webcam/video_types.h"

#include <uuids.h>

#include "tools/demo_devices/webcam/frame_conversion.h"

HRESULT MakeVideoType(const VideoFormat& format, CMediaType* type) {
    type->Clear();
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!info) return E_OUTOFMEMORY;
    const GUID& subtype = SubtypeOf(format.layout);
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = format.width;
    header.biHeight = format.height;
    header.biPlanes = 1;
    header.biBitCount = BitsPerPixel(format.layout);
    // YUV subtypes are FOURCC GUIDs: their first field is the FOURCC.
    const bool rgb = format.layout == PixelLayout::Rgb24 || format.layout == PixelLayout::Rgb32;
    header.biCompression = rgb ? BI_RGB : subtype.Data1;
    header.biSizeImage = FrameBytes(format.layout, format.width, format.height);
    info->AvgTimePerFrame = FrameInterval(format);
    info->dwBitRate =
        static_cast<DWORD>(static_cast<ULONGLONG>(header.biSizeImage) * 8 * format.rateHundredths / 100);
    info->rcSource = {0, 0, format.width, format.height};
    info->rcTarget = info->rcSource;
    type->SetType(&MEDIATYPE_Video);
    type->SetSubtype(&subtype);
    type->SetFormatType(&FORMAT_VideoInfo);
    type->SetTemporalCompression(FALSE);
    type->SetSampleSize(header.biSizeImage);
    return S_OK;
}

int FindVideoFormat(const std::vector<VideoFormat>& formats, const AM_MEDIA_TYPE& type) {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !IsEqualGUID(type.formattype, FORMAT_VideoInfo) ||
        !type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return -1;
    const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    for (size_t i = 0; i < formats.size(); ++i) {
        if (IsEqualGUID(type.subtype, SubtypeOf(formats[i].layout)) && header.biWidth == formats[i].width &&
            header.biHeight == formats[i].height)
            return static_cast<int>(i);
    }
    return -1;
}

void FillVideoCaps(const VideoFormat& format, VIDEO_STREAM_CONFIG_CAPS* caps) {
    *caps = VIDEO_STREAM_CONFIG_CAPS();
    const SIZE size = {format.width, format.height};
    const LONG bits = static_cast<LONG>(static_cast<ULONGLONG>(FrameBytes(format.layout, format.width, format.height)) *
                                        8 * format.rateHundredths / 100);
    caps->guid = FORMAT_VideoInfo;
    caps->InputSize = size;
    caps->MinCroppingSize = size;
    caps->MaxCroppingSize = size;
    caps->CropGranularityX = 1;
    caps->CropGranularityY = 1;
    caps->MinOutputSize = size;
    caps->MaxOutputSize = size;
    caps->OutputGranularityX = 1;
    caps->OutputGranularityY = 1;
    caps->MinFrameInterval = FrameInterval(format);
    caps->MaxFrameInterval = FrameInterval(format);
    caps->MinBitsPerSecond = bits;
    caps->MaxBitsPerSecond = bits;
}
