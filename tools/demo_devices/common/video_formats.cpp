#include "tools/demo_devices/common/video_formats.h"

#include <dshow.h>
#include <uuids.h>

#include <cwctype>

namespace {

struct LayoutEntry {
    const wchar_t* name;
    PixelLayout layout;
    const GUID* subtype;
    bool evenWidth;
    bool evenHeight;
};
const LayoutEntry kLayouts[] = {
    {L"rgb24", PixelLayout::Rgb24, &MEDIASUBTYPE_RGB24, false, false},
    {L"rgb32", PixelLayout::Rgb32, &MEDIASUBTYPE_RGB32, false, false},
    {L"yuy2", PixelLayout::Yuy2, &MEDIASUBTYPE_YUY2, true, false},
    {L"nv12", PixelLayout::Nv12, &MEDIASUBTYPE_NV12, true, true},
    {L"mjpg", PixelLayout::Mjpg, &MEDIASUBTYPE_MJPG, false, false},
};

const LayoutEntry& EntryOf(PixelLayout layout) {
    for (const LayoutEntry& entry : kLayouts) {
        if (entry.layout == layout) return entry;
    }
    return kLayouts[0];
}

// A decimal number from 1 to kMaxVideoSide, nothing else.
bool ParseSide(const std::wstring& text, LONG* side) {
    if (text.empty() || text.size() > 4) return false;
    LONG value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < 1 || value > kMaxVideoSide) return false;
    *side = value;
    return true;
}

// "30", "5", "30.03", "29.9": 1 to kMaxRateHundredths hundredths.
bool ParseRate(const std::wstring& text, LONG* hundredths) {
    const size_t point = text.find(L'.');
    const std::wstring whole = text.substr(0, point);
    const std::wstring fraction = point == std::wstring::npos ? std::wstring() : text.substr(point + 1);
    if (whole.empty() || whole.size() > 3 || fraction.size() > 2 || (point != std::wstring::npos && fraction.empty()))
        return false;
    LONG value = 0;
    for (wchar_t c : whole + fraction + std::wstring(2 - fraction.size(), L'0')) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < 1 || value > kMaxRateHundredths) return false;
    *hundredths = value;
    return true;
}

std::wstring ParseOne(std::wstring item, VideoFormat* format) {
    for (wchar_t& c : item) c = static_cast<wchar_t>(std::towlower(c));
    const size_t at = item.find(L'@');
    if (at != std::wstring::npos) {
        if (!ParseRate(item.substr(at + 1), &format->rateHundredths))
            return L"\"" + item + L"\" wants a rate from 0.01 to 240 frames a second after the @";
        item.erase(at);
    }
    const size_t colon = item.find(L':');
    const size_t cross = item.find(L'x', colon == std::wstring::npos ? 0 : colon);
    if (colon == std::wstring::npos || cross == std::wstring::npos)
        return L"\"" + item + L"\" is not FORMAT:WIDTHxHEIGHT";
    const std::wstring name = item.substr(0, colon);
    const LayoutEntry* found = nullptr;
    for (const LayoutEntry& entry : kLayouts) {
        if (name == entry.name) found = &entry;
    }
    if (!found) return L"unknown format \"" + name + L"\" (rgb24, rgb32, yuy2, nv12 or mjpg)";
    if (!ParseSide(item.substr(colon + 1, cross - colon - 1), &format->width) ||
        !ParseSide(item.substr(cross + 1), &format->height))
        return L"\"" + item + L"\" wants a width and a height from 1 to 4096";
    if ((found->evenWidth && format->width % 2) || (found->evenHeight && format->height % 2))
        return L"\"" + item + L"\": " + name + (found->evenHeight ? L" wants an even width and height" : L" wants an even width");
    format->layout = found->layout;
    return std::wstring();
}

}  // namespace

std::wstring ParseVideoFormats(const std::wstring& text, std::vector<VideoFormat>* formats) {
    formats->clear();
    size_t begin = 0;
    for (;;) {
        const size_t comma = text.find(L',', begin);
        VideoFormat format = {};
        const std::wstring error = ParseOne(text.substr(begin, comma - begin), &format);
        if (!error.empty()) return error;
        for (const VideoFormat& listed : *formats) {
            if (listed.layout == format.layout && listed.width == format.width && listed.height == format.height)
                return L"a format is listed twice";
        }
        formats->push_back(format);
        if (formats->size() > kMaxVideoFormats) return L"at most 16 formats";
        if (comma == std::wstring::npos) return std::wstring();
        begin = comma + 1;
    }
}

REFERENCE_TIME FrameInterval(const VideoFormat& format) {
    return static_cast<REFERENCE_TIME>(1000000000ull / static_cast<unsigned long long>(format.rateHundredths));
}

REFERENCE_TIME FrameStartAt(const VideoFormat& format, unsigned long long n) {
    return static_cast<REFERENCE_TIME>(n * 1000000000ull / static_cast<unsigned long long>(format.rateHundredths));
}

const GUID& SubtypeOf(PixelLayout layout) { return *EntryOf(layout).subtype; }

const wchar_t* LayoutName(PixelLayout layout) { return EntryOf(layout).name; }
