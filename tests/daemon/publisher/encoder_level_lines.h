#pragma once
// The encoder's arguments at each push level, byte for byte as the system
// defines them, written out here once for the tests that compare command
// lines. {V}, {A} and {U} stand for the video device, the audio device and
// the stream URL.
#include <string>

inline constexpr wchar_t kLevel0[] =
    L"-f dshow  -i video=\"{V}\":audio=\"{A}\"  -r:v 10 -s:v  640*480 -b:v 300k -c:v libx264 -tune zerolatency "
    L"-x264-params keyint=10:keyint_min=6 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv \"{U} live=1\"";
inline constexpr wchar_t kLevel1[] =
    L"-f dshow  -i video=\"{V}\":audio=\"{A}\"  -r:v 8 -s:v  480*360 -b:v 100k -c:v libx264 -tune zerolatency "
    L"-x264-params keyint=10:keyint_min=6 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv \"{U} live=1\"";
inline constexpr wchar_t kLevel2[] =
    L"-f dshow  -i video=\"{V}\":audio=\"{A}\"  -r:v 7 -s:v  320*240 -b:v 40k -c:v libx264 "
    L"-x264-params keyint=14:keyint_min=7 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 16k -f flv \"{U} live=1\"";
inline constexpr wchar_t kLevel3[] =
    L"-f dshow  -i video=\"{V}\":audio=\"{A}\"  -r:v 7 -s:v  480*360 -b:v 30k -c:v libx264 -tune zerolatency "
    L"-x264-params keyint=20:keyint_min=20 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv \"{U} live=1\"";
// The HD levels ask the camera for their size in NV12 at 30 fps.
inline constexpr wchar_t kLevel4[] =
    L"-f dshow -video_size 1280x720 -pixel_format nv12 -framerate 30 -i video=\"{V}\":audio=\"{A}\"  -r:v 30 "
    L"-s:v 1280x720 -b:v 2500k -c:v libx264 -preset veryfast -tune zerolatency -g 60 -keyint_min 60 -pix_fmt yuv420p "
    L"-c:a aac -ar 48000 -ab 128k -f flv \"{U} live=1\"";
inline constexpr wchar_t kLevel5[] =
    L"-f dshow -video_size 1920x1080 -pixel_format nv12 -framerate 30 -i video=\"{V}\":audio=\"{A}\"  -r:v 30 "
    L"-s:v 1920x1080 -b:v 4500k -c:v libx264 -preset veryfast -tune zerolatency -g 60 -keyint_min 60 -pix_fmt yuv420p "
    L"-c:a aac -ar 48000 -ab 128k -f flv \"{U} live=1\"";

// The publishing camera, whatever camera the client named.
inline constexpr wchar_t kPublishedCamera[] = L"Kavo直播插件";

// The level's line with the devices and URL filled in.
inline std::wstring Fill(const wchar_t* level, const std::wstring& video, const std::wstring& audio,
                         const std::wstring& url) {
    std::wstring text = level;
    for (const auto& [token, value] : {std::make_pair(L"{V}", &video), std::make_pair(L"{A}", &audio),
                                      std::make_pair(L"{U}", &url)}) {
        const size_t at = text.find(token);
        if (at != std::wstring::npos) text.replace(at, 3, *value);
    }
    return text;
}
