// The stand-by picture: the module carries it as bitmap 109 exactly as the
// tree keeps it, and the generator kept with it still draws that picture.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/camera/filter/camera_graph.h"
#include "tests/support/child_process.h"

namespace {

// The kept standby.bmp, embedded in this program.
std::vector<uint8_t> KeptBitmapFile() {
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_RCDATA);
    if (!found) return {};
    const auto* data = static_cast<const uint8_t*>(::LockResource(::LoadResource(nullptr, found)));
    return std::vector<uint8_t>(data, data + ::SizeofResource(nullptr, found));
}

struct ModuleFreer {
    HMODULE module;
    ~ModuleFreer() {
        if (module) ::FreeLibrary(module);
    }
};

TEST(StandbyPicture, ModuleCarriesItAsBitmap109) {
    ModuleFreer camera{::LoadLibraryExW((TestBinDir() + L"QvCamera.dll").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)};
    ASSERT_NE(nullptr, camera.module);
    HRSRC found = ::FindResourceW(camera.module, MAKEINTRESOURCEW(109), RT_BITMAP);
    ASSERT_NE(nullptr, found) << "bitmap resource 109";
    ASSERT_EQ(921640u, ::SizeofResource(camera.module, found));
    const auto* data = static_cast<const uint8_t*>(::LockResource(::LoadResource(camera.module, found)));
    ASSERT_NE(nullptr, data);

    BITMAPINFOHEADER header;
    std::memcpy(&header, data, sizeof header);
    EXPECT_EQ(40u, header.biSize);
    EXPECT_EQ(640, header.biWidth);
    EXPECT_EQ(480, header.biHeight);
    EXPECT_EQ(1, header.biPlanes);
    EXPECT_EQ(24, header.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    EXPECT_EQ(921600u, header.biSizeImage);

    const std::vector<uint8_t>& pixels = StandbyFullPicture();
    ASSERT_EQ(kFullBytes, pixels.size());
    EXPECT_EQ("equal", FirstDifference(data + 40, pixels.data(), kFullBytes));
}

TEST(StandbyPicture, PictureIsNotBlankOrUniform) {
    // A viewer has to see something: at least a few distinct colours.
    const std::vector<uint8_t>& pixels = StandbyFullPicture();
    ASSERT_EQ(kFullBytes, pixels.size());
    std::vector<bool> seen(1 << 12);
    size_t distinct = 0;
    for (size_t i = 0; i + 2 < pixels.size(); i += 3) {
        const size_t key = (pixels[i] >> 4) | ((pixels[i + 1] >> 4) << 4) | ((pixels[i + 2] >> 4) << 8);
        if (!seen[key]) {
            seen[key] = true;
            ++distinct;
        }
    }
    EXPECT_GE(distinct, 8u);
}

TEST(StandbyPicture, GeneratorStillDrawsTheKeptPicture) {
    const std::vector<uint8_t> kept = KeptBitmapFile();
    ASSERT_EQ(921654u, kept.size());

    wchar_t dir[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, dir));
    const std::wstring output = std::wstring(dir) + L"qv_standby_" + std::to_wstring(::GetCurrentProcessId()) + L".bmp";
    ASSERT_EQ("", RunDetached(QuoteArgument(TestBinDir() + L"make_standby_bitmap.exe") + L" " + QuoteArgument(output),
                              60000));

    std::ifstream file(output.c_str(), std::ios::binary);
    std::vector<uint8_t> drawn((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file.close();
    ::DeleteFileW(output.c_str());
    ASSERT_EQ(kept.size(), drawn.size());
    EXPECT_EQ("equal", FirstDifference(drawn.data(), kept.data(), kept.size()))
        << "run make_standby_bitmap again and keep its output as camera/resources/standby.bmp";
}

}  // namespace
