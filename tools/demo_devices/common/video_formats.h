#pragma once
// The webcam's formats, as given on the command line and kept in the
// registry: "yuy2:1280x720,rgb24:640x480,...", in the order they are offered.
// "mjpg" frames are one JPEG of the picture, the same in every sample.
#include <windows.h>

#include <string>
#include <vector>

enum class PixelLayout { Rgb24, Rgb32, Yuy2, Nv12, Mjpg };

struct VideoFormat {
    PixelLayout layout;
    LONG width;
    LONG height;
};

constexpr wchar_t kDefaultFormats[] = L"yuy2:640x480,rgb24:640x480";
constexpr LONG kMaxVideoSide = 4096;
constexpr size_t kMaxVideoFormats = 16;

// Empty with the formats on success, else what is wrong with `text`. YUY2
// and NV12 share chroma between pixel pairs: their widths (and NV12's
// heights) must be even.
std::wstring ParseVideoFormats(const std::wstring& text, std::vector<VideoFormat>* formats);

const GUID& SubtypeOf(PixelLayout layout);
const wchar_t* LayoutName(PixelLayout layout);
