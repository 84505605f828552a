#include "bridge/capture_format_offers.h"

#include <dvdmedia.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

LONGLONG* FrameIntervalOf(AM_MEDIA_TYPE& type) {
    if (type.pbFormat == nullptr) return nullptr;
    if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<VIDEOINFOHEADER2*>(type.pbFormat)->AvgTimePerFrame;
    return nullptr;
}

CaptureFormatOffer OfferOf(AM_MEDIA_TYPE& type, LONGLONG minInterval, LONGLONG maxInterval) {
    const SourcePicture picture = DescribePicture(type);
    CaptureFormatOffer offer = {picture.format, picture.width, picture.height, minInterval, maxInterval};
    // DescribePicture knows no layout for compressed types; their size is
    // all that matters here.
    const BITMAPINFOHEADER* header = BitmapHeaderOf(type);
    if (PixelFormatOf(type.subtype) == PixelFormat::Mjpg && type.majortype == MEDIATYPE_Video && header != nullptr &&
        header->biWidth > 0 && header->biHeight != 0) {
        offer.format = PixelFormat::Mjpg;
        offer.width = header->biWidth;
        offer.height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    }
    return offer;
}

void ListThroughStreamConfig(IAMStreamConfig* config, CaptureFormatOffers& list) {
    int count = 0, capsSize = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &capsSize)) || count <= 0) return;
    // The caps structure for video is VIDEO_STREAM_CONFIG_CAPS; a pin that
    // reports another size is not trusted with our buffer.
    const bool videoCaps = capsSize == sizeof(VIDEO_STREAM_CONFIG_CAPS);
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* raw = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        if (!videoCaps || FAILED(config->GetStreamCaps(i, &raw, reinterpret_cast<BYTE*>(&caps))) || raw == nullptr)
            continue;
        UniqueMediaType type(raw);
        list.offers.push_back(OfferOf(*type, caps.MinFrameInterval, caps.MaxFrameInterval));
        list.types.push_back(std::move(type));
    }
}

void ListThroughEnumerator(IPin* pin, CaptureFormatOffers& list) {
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.GetAddressOf()))) return;
    AM_MEDIA_TYPE* raw = nullptr;
    while (types->Next(1, &raw, nullptr) == S_OK) {
        UniqueMediaType type(raw);
        const LONGLONG* interval = FrameIntervalOf(*type);
        const LONGLONG rate = interval != nullptr ? *interval : 0;
        list.offers.push_back(OfferOf(*type, rate, rate));
        list.types.push_back(std::move(type));
    }
}

}  // namespace

CaptureFormatOffers ListCaptureFormats(IPin* pin) {
    CaptureFormatOffers list;
    ComPtr<IAMStreamConfig> config;
    if (SUCCEEDED(pin->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) ListThroughStreamConfig(config.Get(), list);
    if (list.types.empty()) ListThroughEnumerator(pin, list);
    return list;
}

void SetFrameInterval(AM_MEDIA_TYPE& type, LONGLONG frameInterval) {
    LONGLONG* interval = FrameIntervalOf(type);
    if (interval != nullptr && frameInterval > 0) *interval = frameInterval;
}
