// Which camera a name picks among the friendly names DirectShow lists: the
// exact name, a browser's label with USB ids, "Name #N" for one of several
// cameras of one name.
#include "bridge/video_device_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

TEST(VideoDeviceLookup, NamesLabelsAndNumbersPickTheirCamera) {
    const std::vector<std::wstring> names = {L"HD USB Camera", L"Twin Cam", L"Integrated Camera", L"Twin Cam",
                                             L"Cam (1bcf:2284)", L"Cam", L"Twin Cam #1"};
    const struct {
        const wchar_t* wanted;
        int index;               // -1: none
        bool ambiguous = false;  // refused because several share the name
    } cases[] = {
        {L"HD USB Camera", 0},
        {L"HD USB Camera (1bcf:2284)", 0},
        {L"HD USB Camera (1BCF:22A4)", 0},
        {L"HD USB Camera (1bcf:228)", -1},
        {L"HD USB Camera (1bcf:22845)", -1},
        {L"HD USB Camera (1bcg:2284)", -1},
        {L"HD USB Camera(1bcf:2284)", -1},
        {L"HD USB Camera (1bcf-2284)", -1},
        {L" (1bcf:2284)", -1},
        {L"hd usb camera", -1},
        // An exact name wins over reading it as a label.
        {L"Cam (1bcf:2284)", 4},
        {L"Cam (0000:0000)", 5},
        {L"Twin Cam", -1, true},
        {L"Twin Cam (0c45:6366)", -1, true},
        {L"Twin Cam #2", 3},
        // A camera really named "Twin Cam #1" is that camera.
        {L"Twin Cam #1", 6},
        {L"Twin Cam #3", -1},
        {L"Twin Cam #0", -1},
        {L"Twin Cam #", -1},
        {L"HD USB Camera #1", 0},
        {L"Integrated Camera #2", -1},
        {L"", -1},
    };
    for (const auto& c : cases) {
        const DeviceNameMatch match = MatchDeviceName(names, c.wanted);
        EXPECT_EQ(c.index, match.index) << Narrow(c.wanted);
        EXPECT_EQ(c.ambiguous, !match.ambiguity.empty()) << Narrow(c.wanted) << ": " << Narrow(match.ambiguity);
    }
}

TEST(VideoDeviceLookup, SharedNameSaysHowToPickEach) {
    const std::vector<std::wstring> names = {L"摄像头", L"Other", L"摄像头", L"摄像头"};
    for (const wchar_t* wanted : {L"摄像头", L"摄像头 (046d:0825)"}) {
        const DeviceNameMatch match = MatchDeviceName(names, wanted);
        EXPECT_EQ(-1, match.index);
        EXPECT_EQ(L"3 cameras are named \"摄像头\"; name one of them as \"摄像头 #1\", \"摄像头 #2\" or \"摄像头 #3\"",
                  match.ambiguity);
        EXPECT_EQ(3, MatchDeviceName(names, L"摄像头 #3").index);
    }
}

}  // namespace
