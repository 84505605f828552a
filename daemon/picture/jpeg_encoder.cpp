#include "daemon/picture/jpeg_encoder.h"

#include <objidl.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace {

// The frame's quality option; an encoder that does not know it keeps its
// default, which is still a picture.
void SetQuality(IPropertyBag2* options) {
    if (!options) return;
    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = kPictureJpegQuality;
    options->Write(1, &option, &value);
}

HRESULT CopyStream(IStream* stream, std::string& bytes) {
    STATSTG stat = {};
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    HGLOBAL memory = nullptr;
    hr = ::GetHGlobalFromStream(stream, &memory);
    if (FAILED(hr)) return hr;
    const void* data = ::GlobalLock(memory);
    if (!data) return E_OUTOFMEMORY;
    bytes.assign(static_cast<const char*>(data), static_cast<size_t>(stat.cbSize.QuadPart));
    ::GlobalUnlock(memory);
    return S_OK;
}

}  // namespace

HRESULT CJpegEncoder::Encode(const BYTE* bgr, UINT width, UINT height, std::string& jpeg) {
    HRESULT hr = S_OK;
    if (!m_factory) {
        hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_factory));
        if (FAILED(hr)) return hr;
    }
    ComPtr<IStream> stream;
    hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (FAILED(hr)) return hr;
    ComPtr<IWICBitmapEncoder> encoder;
    hr = m_factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr)) {
        SetQuality(options.Get());
        hr = frame->Initialize(options.Get());
    }
    if (SUCCEEDED(hr)) hr = frame->SetSize(width, height);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    // The encoder takes 24bppBGR on every platform seen; any other answer
    // would need a converter, which costs more than it is worth here.
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    const UINT stride = width * 3;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(height, stride, stride * height, const_cast<BYTE*>(bgr));
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    if (SUCCEEDED(hr)) hr = CopyStream(stream.Get(), jpeg);
    return hr;
}
