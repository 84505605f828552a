// The bridge's conversion of each webcam format into the camera's picture,
// against pictures made with the forward BT.601 formulas: exact where no
// conversion happens, close where YUV rounding or scaling does; black bars
// where the aspect ratio differs; upright and not mirrored (the quadrants
// of the test picture would not match otherwise).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/picture_converter.h"
#include "common/yuv_rows_vector.h"
#include "tests/bridge/webcam_pictures.h"

namespace {

SourcePicture Describe(PixelFormat format, int width, int height, bool topDown) {
    SourcePicture picture;
    picture.format = format;
    picture.width = width;
    picture.height = height;
    picture.bottomUp = !topDown && (format == PixelFormat::Rgb24 || format == PixelFormat::Rgb32);
    const size_t bytes = format == PixelFormat::Rgb24 ? 3 : format == PixelFormat::Rgb32 ? 4 : format == PixelFormat::Yuy2 ? 2 : 1;
    picture.stride = (static_cast<size_t>(width) * bytes + (format == PixelFormat::Rgb24 ? 3 : 0)) &
                     ~size_t(format == PixelFormat::Rgb24 ? 3 : 0);
    return picture;
}

bool OutsideIsBlack(const RgbPicture& out, const PictureRect& rect) {
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const bool inside = x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
            const uint8_t* p = out.At(x, y);
            if (!inside && (p[0] | p[1] | p[2]) != 0) return false;
        }
    return true;
}

TEST(PictureConverter, EachFormatAndSize) {
    using F = PixelFormat;
    const struct {
        const char* name;
        F format;
        int width, height;
        bool topDown;
        PictureRect rect;
        double minPsnr;  // 99: byte for byte
    } cases[] = {
        {"RGB24 640x480", F::Rgb24, 640, 480, false, {0, 0, 640, 480}, 99},
        {"RGB24 640x480 top-down", F::Rgb24, 640, 480, true, {0, 0, 640, 480}, 99},
        {"RGB32 640x480", F::Rgb32, 640, 480, false, {0, 0, 640, 480}, 99},
        {"YUY2 640x480", F::Yuy2, 640, 480, false, {0, 0, 640, 480}, 40},
        {"NV12 640x480", F::Nv12, 640, 480, false, {0, 0, 640, 480}, 40},
        {"YUY2 1280x720 letterboxed", F::Yuy2, 1280, 720, false, {0, 60, 640, 360}, 30},
        {"RGB24 480x480 pillarboxed", F::Rgb24, 480, 480, true, {80, 0, 480, 480}, 30},
        {"NV12 320x240 enlarged", F::Nv12, 320, 240, false, {0, 0, 640, 480}, 30},
        {"RGB24 322x242, padded rows", F::Rgb24, 322, 242, false, {0, 0, 639, 480}, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RgbPicture webcam = MakeQuadrantPicture(c.width, c.height);
        const std::vector<uint8_t> sample = EncodePicture(webcam, c.format, c.topDown);
        const CPictureConverter converter(Describe(c.format, c.width, c.height, c.topDown));
        EXPECT_EQ(c.rect.x, converter.Rect().x);
        EXPECT_EQ(c.rect.y, converter.Rect().y);
        EXPECT_EQ(c.rect.width, converter.Rect().width);
        EXPECT_EQ(c.rect.height, converter.Rect().height);

        std::vector<uint8_t> camera(kCameraPictureBytes, 0x55);
        ASSERT_TRUE(converter.Convert(sample.data(), sample.size(), camera.data()));
        const RgbPicture shown = FromCameraPicture(camera.data());
        EXPECT_TRUE(OutsideIsBlack(shown, converter.Rect()));
        const double psnr = Psnr(shown, FitReference(webcam));
        if (c.minPsnr >= 99)
            EXPECT_TRUE(shown.bgr == webcam.bgr) << "not byte for byte; PSNR " << psnr;
        else
            EXPECT_GE(psnr, c.minPsnr);
    }
}

// The vector rows against the scalar path, on noise (every value, the
// out-of-range ones included, so the clamping is compared too), at sizes
// whose rows are whole blocks of eight target pixels and sizes with a rest.
TEST(PictureConverter, VectorRowsEqualTheScalarPathByteForByte) {
#if defined(_WIN64)
    EXPECT_TRUE(VectorYuvRowsAvailable()) << "an x64 build converts with SSE2";
#endif
    using F = PixelFormat;
    const struct {
        F format;
        int width, height;
    } cases[] = {
        {F::Yuy2, 640, 480},  {F::Yuy2, 636, 480},  {F::Yuy2, 10, 480},   {F::Yuy2, 1280, 720},
        {F::Yuy2, 1276, 960}, {F::Nv12, 640, 360},  {F::Nv12, 630, 480},  {F::Nv12, 1280, 720},
        {F::Nv12, 1270, 960},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format == F::Yuy2 ? "YUY2 " : "NV12 ") + std::to_string(c.width) + "x" +
                     std::to_string(c.height));
        const SourcePicture source = Describe(c.format, c.width, c.height, true);
        std::vector<uint8_t> sample(PictureBytes(source));
        uint32_t noise = 2463534242u;
        for (uint8_t& byte : sample) {
            noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
            byte = static_cast<uint8_t>(noise);
        }
        std::vector<uint8_t> vector(kCameraPictureBytes), scalar(kCameraPictureBytes);
        ASSERT_TRUE(CPictureConverter(source, ConversionPath::Vector).Convert(sample.data(), sample.size(), vector.data()));
        ASSERT_TRUE(CPictureConverter(source, ConversionPath::Scalar).Convert(sample.data(), sample.size(), scalar.data()));
        const auto differ = std::mismatch(vector.begin(), vector.end(), scalar.begin());
        EXPECT_TRUE(differ.first == vector.end())
            << "first difference at byte " << (differ.first - vector.begin()) << ": " << int(*differ.first) << " vs "
            << int(*differ.second);
    }
}

TEST(PictureConverter, ShortSampleLeavesThePictureAlone) {
    const CPictureConverter converter(Describe(PixelFormat::Yuy2, 640, 480, false));
    std::vector<uint8_t> sample(640 * 480 * 2 - 1, 0x80);
    std::vector<uint8_t> camera(kCameraPictureBytes, 0x55);
    EXPECT_FALSE(converter.Convert(sample.data(), sample.size(), camera.data()));
    EXPECT_EQ(std::vector<uint8_t>(kCameraPictureBytes, 0x55), camera);
}

}  // namespace
