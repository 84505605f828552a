#include "bridge/jpeg_decoder.h"

#include "bridge/rgb_to_nv12.h"

using Microsoft::WRL::ComPtr;

namespace {

// wincodec.h of this tool chain predates the planar interface (Windows 8.1);
// its declaration as the platform defines it.
enum PlanarOptions { kPlanarOptionsDefault = 0 };

struct PlaneDescription {
    WICPixelFormatGUID format;
    UINT width;
    UINT height;
};

struct Plane {
    WICPixelFormatGUID format;
    BYTE* buffer;
    UINT stride;
    UINT bufferSize;
};

// {3AFF9CCE-BE95-4303-B927-E7D16FF4A613}
constexpr IID kIidPlanarBitmapSourceTransform = {0x3aff9cce, 0xbe95, 0x4303, {0xb9, 0x27, 0xe7, 0xd1, 0x6f, 0xf4, 0xa6, 0x13}};

struct IPlanarBitmapSourceTransform : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(UINT* width, UINT* height,
                                                           WICBitmapTransformOptions transform, PlanarOptions options,
                                                           const WICPixelFormatGUID* formats,
                                                           PlaneDescription* descriptions, UINT planes,
                                                           BOOL* supported) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* source, UINT width, UINT height,
                                                 WICBitmapTransformOptions transform, PlanarOptions options,
                                                 const Plane* planes, UINT count) = 0;
};

// {91B4DB54-2DF9-42F0-B449-2909BB3DF88E} and {FF95BA6E-11E0-4263-BB45-01721F3460A4}:
// the luma plane and the interleaved Cb Cr plane, NV12's two planes.
constexpr GUID kFormat8bppY = {0x91b4db54, 0x2df9, 0x42f0, {0xb4, 0x49, 0x29, 0x09, 0xbb, 0x3d, 0xf8, 0x8e}};
constexpr GUID kFormat16bppCbCr = {0xff95ba6e, 0x11e0, 0x4263, {0xbb, 0x45, 0x01, 0x72, 0x1f, 0x34, 0x60, 0xa4}};
constexpr GUID kFormat24bppBgr = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0c}};
constexpr GUID kContainerJpeg = {0x19e4a5aa, 0x5662, 0x4fc5, {0xa0, 0xc0, 0x17, 0x58, 0x02, 0x8e, 0x10, 0x57}};
// CLSID_WICImagingFactory: the first version, which every Windows has.
constexpr CLSID kImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};

// Full range to limited range: Y 0..255 to 16..235, Cb and Cr 0..255 to
// 16..240 around 128, rounded.
struct RangeTables {
    BYTE luma[256];
    BYTE chroma[256];
    RangeTables() {
        for (int v = 0; v < 256; ++v) {
            luma[v] = static_cast<BYTE>(16 + (v * 219 + 127) / 255);
            chroma[v] = static_cast<BYTE>(128 + ((v - 128) * 224 + (v >= 128 ? 127 : -127)) / 255);
        }
    }
};

}  // namespace

HRESULT CJpegDecoder::Open() {
    if (m_factory) return S_OK;
    return ::CoCreateInstance(kImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(m_factory.GetAddressOf()));
}

HRESULT CJpegDecoder::Decode(const BYTE* jpeg, size_t length, int width, int height, BYTE* nv12) {
    if (!m_factory) return E_HANDLE;
    if (jpeg == nullptr || length == 0 || length > MAXDWORD || width <= 0 || height <= 0 || (width | height) & 1)
        return E_INVALIDARG;
    ComPtr<IWICStream> stream;
    HRESULT hr = m_factory->CreateStream(stream.GetAddressOf());
    if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(const_cast<BYTE*>(jpeg), static_cast<DWORD>(length));
    // The JPEG decoder by its container, not by probing every decoder
    // installed with the stream's first bytes.
    ComPtr<IWICBitmapDecoder> decoder;
    if (SUCCEEDED(hr)) hr = m_factory->CreateDecoder(kContainerJpeg, nullptr, decoder.GetAddressOf());
    if (SUCCEEDED(hr)) hr = decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand);
    ComPtr<IWICBitmapFrameDecode> frame;
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.GetAddressOf());
    UINT frameWidth = 0, frameHeight = 0;
    if (SUCCEEDED(hr)) hr = frame->GetSize(&frameWidth, &frameHeight);
    if (FAILED(hr)) return hr;
    if (frameWidth != static_cast<UINT>(width) || frameHeight != static_cast<UINT>(height)) return E_INVALIDARG;

    bool done = false;
    if (!m_planarRefused) {
        hr = DecodePlanar(frame.Get(), width, height, nv12, &done);
        if (done) {
            if (SUCCEEDED(hr)) m_lastPath = JpegDecodePath::Planar;
            return hr;
        }
    }

    ComPtr<IWICBitmapSource> bgr = frame;
    WICPixelFormatGUID native = {};
    hr = frame->GetPixelFormat(&native);
    if (FAILED(hr)) return hr;
    if (native != kFormat24bppBgr) {
        ComPtr<IWICFormatConverter> converter;
        hr = m_factory->CreateFormatConverter(converter.GetAddressOf());
        if (SUCCEEDED(hr))
            hr = converter->Initialize(frame.Get(), kFormat24bppBgr, WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom);
        if (FAILED(hr)) return hr;
        bgr = converter;
    }
    const UINT stride = static_cast<UINT>((width * 3 + 3) & ~3);
    m_bgr.resize(static_cast<size_t>(stride) * height);
    hr = bgr->CopyPixels(nullptr, stride, static_cast<UINT>(m_bgr.size()), m_bgr.data());
    if (FAILED(hr)) return hr;
    RgbToNv12(m_bgr.data(), RgbLayout{3, stride, false}, width, height, nv12);
    m_lastPath = JpegDecodePath::Bgr;
    return S_OK;
}

HRESULT CJpegDecoder::DecodePlanar(IWICBitmapFrameDecode* frame, int width, int height, BYTE* nv12, bool* done) {
    ComPtr<IPlanarBitmapSourceTransform> planar;
    if (FAILED(frame->QueryInterface(kIidPlanarBitmapSourceTransform,
                                     reinterpret_cast<void**>(planar.GetAddressOf())))) {
        m_planarRefused = true;
        return S_FALSE;
    }
    UINT planeWidth = static_cast<UINT>(width), planeHeight = static_cast<UINT>(height);
    const WICPixelFormatGUID formats[2] = {kFormat8bppY, kFormat16bppCbCr};
    PlaneDescription descriptions[2] = {};
    BOOL supported = FALSE;
    HRESULT hr = planar->DoesSupportTransform(&planeWidth, &planeHeight, WICBitmapTransformRotate0,
                                              kPlanarOptionsDefault, formats, descriptions, 2, &supported);
    // Only at full size: a decoder may offer a scaled-down picture instead.
    if (FAILED(hr) || !supported || planeWidth != static_cast<UINT>(width) ||
        planeHeight != static_cast<UINT>(height) || descriptions[1].width * 2 != static_cast<UINT>(width) ||
        descriptions[1].height * 2 != static_cast<UINT>(height)) {
        m_planarRefused = true;
        return S_FALSE;
    }
    const UINT lumaBytes = static_cast<UINT>(width) * static_cast<UINT>(height);
    const Plane planes[2] = {{kFormat8bppY, nv12, static_cast<UINT>(width), lumaBytes},
                             {kFormat16bppCbCr, nv12 + lumaBytes, static_cast<UINT>(width), lumaBytes / 2}};
    hr = planar->CopyPixels(nullptr, planeWidth, planeHeight, WICBitmapTransformRotate0, kPlanarOptionsDefault,
                            planes, 2);
    *done = true;
    if (FAILED(hr)) return hr;
    // JPEG's Y'CbCr is full range (JFIF); the exchange carries limited range.
    static const RangeTables tables;
    for (BYTE *p = nv12, *end = nv12 + lumaBytes; p != end; ++p) *p = tables.luma[*p];
    for (BYTE *p = nv12 + lumaBytes, *end = p + lumaBytes / 2; p != end; ++p) *p = tables.chroma[*p];
    return S_OK;
}
