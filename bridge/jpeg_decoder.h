#pragma once
// One MJPG sample (a JPEG) into a packed NV12 picture at its own size,
// through the Windows Imaging Component's JPEG decoder, which every Windows
// since Vista has (and Wine), whatever DirectShow decoders are installed.
// Where the decoder hands out its Y'CbCr planes (Windows 8.1 on) it writes
// them straight into the NV12 picture, with no colour conversion at all;
// elsewhere (Wine) it decodes to B G R and converts that (rgb_to_nv12.h).
// The factory and the buffers live as long as the decoder; WIC allows a
// decoder object only one stream, so that is made per sample.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <vector>

enum class JpegDecodePath { Planar, Bgr };

class CJpegDecoder {
public:
    // S_OK, or why WIC cannot be had (no JPEG decoder, COM not started).
    HRESULT Open();

    // Decodes a JPEG of exactly width x height (both even) into nv12
    // (width x height x 3 / 2 bytes). S_OK, or the failure: a sample that is
    // no JPEG, or one of another size.
    HRESULT Decode(const BYTE* jpeg, size_t length, int width, int height, BYTE* nv12);

    // How the last successful Decode went.
    JpegDecodePath LastPath() const { return m_lastPath; }

private:
    HRESULT DecodePlanar(IWICBitmapFrameDecode* frame, int width, int height, BYTE* nv12, bool* done);

    Microsoft::WRL::ComPtr<IWICImagingFactory> m_factory;
    std::vector<BYTE> m_bgr;
    JpegDecodePath m_lastPath = JpegDecodePath::Bgr;
    // Once the decoder said it has no planar output, it is not asked again.
    bool m_planarRefused = false;
};
