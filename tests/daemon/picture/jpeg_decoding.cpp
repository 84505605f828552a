#include "tests/daemon/picture/jpeg_decoding.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cmath>

using Microsoft::WRL::ComPtr;

bool DecodeJpeg(const std::string& jpeg, UINT& width, UINT& height, std::vector<BYTE>& bgr) {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
        return false;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(jpeg.data())),
                                            static_cast<DWORD>(jpeg.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) ||
        FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    bgr.resize(static_cast<size_t>(width) * height * 3);
    return SUCCEEDED(converter->CopyPixels(nullptr, width * 3, static_cast<UINT>(bgr.size()), bgr.data()));
}

double PsnrOfBytes(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    const double mse = sum / a.size();
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}
