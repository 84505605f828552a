#pragma once
// The webcam's formats, as given on the command line and kept in the
// registry: "yuy2:1280x720,rgb24:640x480,...", in the order they are offered.
// "mjpg" frames are one JPEG of the picture, the same in every sample. A
// format delivers 30 frames a second unless it says otherwise after an "@":
// "yuy2:1920x1080@5,mjpg:1920x1080@30", "yuy2:640x480@30.03" (a rate from
// 0.01 to 240 with at most two decimals), as real webcams deliver their
// large uncompressed formats slowly.
#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

enum class PixelLayout { Rgb24, Rgb32, Yuy2, Nv12, Mjpg };

constexpr LONG kDefaultRateHundredths = 3000;
constexpr LONG kMaxRateHundredths = 24000;

struct VideoFormat {
    PixelLayout layout;
    LONG width;
    LONG height;
    LONG rateHundredths = kDefaultRateHundredths;  // frames a second x 100
};

constexpr wchar_t kDefaultFormats[] = L"yuy2:640x480,rgb24:640x480";
constexpr LONG kMaxVideoSide = 4096;
constexpr size_t kMaxVideoFormats = 16;

// Empty with the formats on success, else what is wrong with `text`. YUY2
// and NV12 share chroma between pixel pairs: their widths (and NV12's
// heights) must be even.
std::wstring ParseVideoFormats(const std::wstring& text, std::vector<VideoFormat>* formats);

// 100-ns units of one frame at the format's rate, cut toward zero (333,333
// at 30 a second), and the start of frame n, exact so that no rounding
// builds up over a long capture.
REFERENCE_TIME FrameInterval(const VideoFormat& format);
REFERENCE_TIME FrameStartAt(const VideoFormat& format, unsigned long long n);

const GUID& SubtypeOf(PixelLayout layout);
const wchar_t* LayoutName(PixelLayout layout);
