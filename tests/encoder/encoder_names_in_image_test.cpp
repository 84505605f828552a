// Whether QvShow.exe may skip asking FFmpeg for its encoders: only when the
// image files plainly show encoder names and libaacplus is not among them.
#include "encoder/encoder_names_in_image.h"
#include "tests/support/directory_tree.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

struct ImageFile {
    const wchar_t* name;
    std::string content;
};

struct Case {
    const char* what;
    std::vector<ImageFile> files;
    bool showsNoLibaacplus;
};

// Names are buried in other bytes, as in a real image.
std::string Buried(const std::string& text) { return std::string(5000, '\x90') + text + std::string(3000, '\0'); }

TEST(EncoderNamesInImage, TrustsOnlyPlainNamesWithoutLibaacplus) {
    const Case cases[] = {
        {"static build without libaacplus", {{L"ffmpeg.exe", Buried("libx264 aac")}}, true},
        {"static build with libaacplus", {{L"ffmpeg.exe", Buried("libx264 libaacplus")}}, false},
        {"packed image: no names to read", {{L"ffmpeg.exe", Buried("UPX!")}}, false},
        {"shared build, codec library elsewhere", {{L"ffmpeg.exe", Buried("avcodec-58.dll")}}, false},
        {"shared build, codec library beside it",
         {{L"ffmpeg.exe", Buried("avcodec-58.dll")}, {L"avcodec-58.dll", Buried("libx264")}},
         true},
        {"shared build whose codec library has libaacplus",
         {{L"ffmpeg.exe", Buried("avcodec-56.dll")}, {L"avcodec-56.dll", Buried("libx264 libaacplus")}},
         false},
        {"empty file", {{L"ffmpeg.exe", ""}}, false},
    };
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    int count = 0;
    for (const Case& c : cases) {
        const std::wstring dir = std::wstring(temp) + L"qv-image-scan-" + std::to_wstring(::GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(++count) + L"\\";
        RemoveTree(dir);
        ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr)) << c.what;
        for (const ImageFile& f : c.files) std::ofstream((dir + f.name).c_str(), std::ios::binary) << f.content;
        EXPECT_EQ(c.showsNoLibaacplus, ImageShowsNoLibaacplus(dir + L"ffmpeg.exe")) << c.what;
        RemoveTree(dir);
    }
    EXPECT_FALSE(ImageShowsNoLibaacplus(std::wstring(temp) + L"qv-no-such-dir\\ffmpeg.exe"));
}

}  // namespace
