#pragma once
// Baseline JPEG through the Windows Imaging Component, which every Windows
// (and Wine) carries. One encoder per thread: it keeps its imaging factory,
// which belongs to the apartment of the thread that made it.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <string>

constexpr float kPictureJpegQuality = 0.85f;

class CJpegEncoder {
public:
    // bgr: width x height pixels of blue, green, red, top row first, rows of
    // width * 3 bytes. The thread must have COM initialised.
    HRESULT Encode(const BYTE* bgr, UINT width, UINT height, std::string& jpeg);

private:
    Microsoft::WRL::ComPtr<IWICImagingFactory> m_factory;
};
