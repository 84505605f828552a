// The bridge's own MJPG path without a device: RGB into NV12 (exact against
// the forward BT.601 formulas for every RGB layout a webcam delivers), WIC's
// JPEG decoder into NV12 at the picture's size, and the decoding thread that
// only ever decodes the latest sample.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bridge/jpeg_decoder.h"
#include "bridge/mjpg_decode_thread.h"
#include "bridge/rgb_to_nv12.h"
#include "common/com_apartment.h"
#include "tests/bridge/webcam_pictures.h"
#include "tools/demo_devices/webcam/jpeg_picture.h"

namespace {

double BytePsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

std::vector<uint8_t> JpegOf(const RgbPicture& picture) {
    BgrPicture bgr;
    bgr.width = picture.width;
    bgr.height = picture.height;
    bgr.pixels = picture.bgr;
    return EncodeJpeg(bgr);
}

TEST(RgbToNv12, EveryRgbLayoutGivesTheForwardFormulasBytes) {
    // Constant over 2 x 2 blocks: the block mean is the pixel itself, so the
    // expected NV12 is exact.
    const RgbPicture picture = MakeQuadrantPicture(66, 30);
    const std::vector<uint8_t> expected = EncodePicture(picture, PixelFormat::Nv12);
    const struct {
        PixelFormat format;
        bool topDown;
        int bytesPerPixel;
    } cases[] = {
        {PixelFormat::Rgb24, false, 3},  // rows padded to 4 bytes (66 x 3 = 198)
        {PixelFormat::Rgb24, true, 3},
        {PixelFormat::Rgb32, false, 4},
        {PixelFormat::Rgb32, true, 4},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> rgb = EncodePicture(picture, c.format, c.topDown);
        const size_t stride = rgb.size() / picture.height;
        std::vector<uint8_t> nv12(expected.size() + 1, 0xEE);
        RgbToNv12(rgb.data(), RgbLayout{c.bytesPerPixel, stride, !c.topDown}, picture.width, picture.height,
                  nv12.data());
        EXPECT_EQ(0xEE, nv12.back()) << "wrote past the picture";
        nv12.pop_back();
        EXPECT_TRUE(nv12 == expected) << c.bytesPerPixel << " bytes a pixel, top-down " << c.topDown
                                      << ": PSNR " << BytePsnr(nv12, expected);
    }
}

TEST(RgbToNv12, AveragesEachBlocksChroma) {
    // One block of four colours: its chroma is that of their mean.
    const uint8_t bgr[2][6] = {{255, 0, 0, 0, 255, 0}, {0, 0, 255, 255, 255, 255}};
    std::vector<uint8_t> nv12(6);
    RgbToNv12(&bgr[0][0], RgbLayout{3, 6, false}, 2, 2, nv12.data());
    const int b = (255 + 0 + 0 + 255 + 2) / 4, g = (0 + 255 + 0 + 255 + 2) / 4, r = (0 + 0 + 255 + 255 + 2) / 4;
    EXPECT_EQ(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128, nv12[4]);
    EXPECT_EQ(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128, nv12[5]);
    EXPECT_EQ(41, nv12[0]);   // pure blue
    EXPECT_EQ(235, nv12[3]);  // white
}

class JpegDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.Result()));
        ASSERT_EQ(S_OK, m_decoder.Open()) << "no Windows Imaging Component";
    }
    ScopedComApartment m_com{COINIT_MULTITHREADED};
    CJpegDecoder m_decoder;
};

TEST_F(JpegDecoderTest, DecodesIntoNv12AtItsOwnSize) {
    for (const SIZE size : {SIZE{320, 240}, SIZE{1920, 1080}, SIZE{642, 362}}) {
        const RgbPicture picture = MakeQuadrantPicture(size.cx, size.cy);
        const std::vector<uint8_t> jpeg = JpegOf(picture);
        const std::vector<uint8_t> expected = EncodePicture(picture, PixelFormat::Nv12);
        std::vector<uint8_t> nv12(expected.size() + 1, 0xEE);
        ASSERT_EQ(S_OK, m_decoder.Decode(jpeg.data(), jpeg.size(), size.cx, size.cy, nv12.data()))
            << size.cx << "x" << size.cy;
        EXPECT_EQ(0xEE, nv12.back()) << "wrote past the picture";
        nv12.pop_back();
        const double psnr = BytePsnr(nv12, expected);
        std::printf("%ldx%ld JPEG (%zu bytes) decoded %s: PSNR %.2f dB\n", size.cx, size.cy, jpeg.size(),
                    m_decoder.LastPath() == JpegDecodePath::Planar ? "into planes" : "through B G R", psnr);
        EXPECT_GE(psnr, 35.0) << size.cx << "x" << size.cy;
    }
}

TEST_F(JpegDecoderTest, RefusesWhatIsNoJpegOfThatSize) {
    const std::vector<uint8_t> jpeg = JpegOf(MakeQuadrantPicture(64, 48));
    std::vector<uint8_t> nv12(64 * 48 * 3 / 2, 0x5A);
    const std::vector<uint8_t> garbage(4096, 0x42);
    std::vector<uint8_t> truncated(jpeg.begin(), jpeg.begin() + 20);
    EXPECT_NE(S_OK, m_decoder.Decode(garbage.data(), garbage.size(), 64, 48, nv12.data()));
    EXPECT_NE(S_OK, m_decoder.Decode(truncated.data(), truncated.size(), 64, 48, nv12.data()));
    EXPECT_EQ(E_INVALIDARG, m_decoder.Decode(jpeg.data(), jpeg.size(), 32, 48, nv12.data())) << "another size";
    EXPECT_EQ(E_INVALIDARG, m_decoder.Decode(jpeg.data(), jpeg.size(), 63, 48, nv12.data())) << "odd width";
    EXPECT_EQ(std::vector<uint8_t>(64 * 48 * 3 / 2, 0x5A), nv12) << "a refused sample wrote into the picture";
    EXPECT_EQ(S_OK, m_decoder.Decode(jpeg.data(), jpeg.size(), 64, 48, nv12.data())) << "decoder unusable after";
}

// Samples that come faster than they decode: the thread decodes the latest
// and drops the ones a newer sample replaced, and the submitting thread
// never waits for a decode.
TEST(MjpgDecodeThread, DecodesTheLatestAndNeverHoldsTheSubmitter) {
    const int w = 1920, h = 1080;
    const std::vector<uint8_t> first = JpegOf(MakeQuadrantPicture(w, h));
    RgbPicture other = MakeQuadrantPicture(w, h);
    for (uint8_t& b : other.bgr) b = static_cast<uint8_t>(255 - b);
    const std::vector<uint8_t> last = JpegOf(other);
    std::atomic<int> delivered{0}, failed{0};
    std::vector<uint8_t> lastPicture;
    CMjpgDecodeThread decoder(w, h, [&](const BYTE* picture, LONGLONG arrived) {
        if (!picture) {
            ++failed;
            return;
        }
        if (arrived == 99) lastPicture.assign(picture, picture + w * h * 3 / 2);
        ++delivered;
    });
    LARGE_INTEGER frequency, before, after;
    ::QueryPerformanceFrequency(&frequency);
    double slowestMs = 0;
    for (int i = 0; i < 100; ++i) {
        ::QueryPerformanceCounter(&before);
        decoder.Submit(i == 99 ? last.data() : first.data(), i == 99 ? last.size() : first.size(), i);
        ::QueryPerformanceCounter(&after);
        slowestMs = std::max(slowestMs, 1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }
    const std::vector<uint8_t> garbage(1000, 1);
    for (DWORD start = ::GetTickCount(); lastPicture.empty() && ::GetTickCount() - start < 20000;) ::Sleep(20);
    decoder.Submit(garbage.data(), garbage.size(), 100);
    for (DWORD start = ::GetTickCount(); failed == 0 && ::GetTickCount() - start < 20000;) ::Sleep(20);
    decoder.Stop();
    std::printf("100 samples submitted (slowest submit %.2f ms): %d decoded, %ld replaced unseen\n", slowestMs,
                delivered.load(), decoder.Replaced());
    ASSERT_FALSE(lastPicture.empty()) << "the latest sample was never decoded";
    EXPECT_GE(BytePsnr(lastPicture, EncodePicture(other, PixelFormat::Nv12)), 35.0);
    EXPECT_EQ(1, failed.load()) << "a sample that is no JPEG is reported as such";
    EXPECT_EQ(100, delivered.load() + decoder.Replaced()) << "every sample is decoded or replaced";
    EXPECT_GT(decoder.Replaced(), 0) << "100 1080p samples in a burst all decoded: nothing was dropped for the latest";
    const int afterStop = delivered.load();
    decoder.Submit(first.data(), first.size(), 101);
    ::Sleep(200);
    EXPECT_EQ(afterStop, delivered.load()) << "decoded after Stop";
}

}  // namespace
