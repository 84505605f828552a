// The picture path's parts on their own: the request grammar, scaling and
// conversion, the exchange reader's copy, and WIC's JPEG encoder (decoded
// back with WIC).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/com_apartment.h"
#include "common/named_frame_exchange.h"
#include "daemon/picture/exchange_picture_reader.h"
#include "daemon/picture/jpeg_encoder.h"
#include "daemon/picture/picture_request.h"
#include "daemon/picture/picture_scaling.h"
#include "tests/daemon/picture/jpeg_decoding.h"
#include "tests/daemon/picture/test_card.h"

namespace {

TEST(PictureRequest, Grammar) {
    struct Case {
        const char* message;
        PictureRequestParse parse;
        unsigned rate, width;
    } cases[] = {
        {"picture rate=\"10\" width=\"640\"", PictureRequestParse::Valid, 10, 640},
        {"picture width=\"160\" rate=\"1\"", PictureRequestParse::Valid, 1, 160},
        {"picture rate=\"15\" width=\"1280\"", PictureRequestParse::Valid, 15, 1280},
        {"picture rate=\"0\"", PictureRequestParse::Valid, 0, 0},
        {"picture rate=\"0\" width=\"9999\"", PictureRequestParse::Valid, 0, 0},
        {"picture rate=\"16\" width=\"640\"", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"10\" width=\"159\"", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"10\" width=\"1281\"", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"10\"", PictureRequestParse::Invalid, 0, 0},
        {"picture", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"-1\" width=\"640\"", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"10\" width=\"640\" rate=\"1\"", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"10\" height=\"640\"", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=10 width=640", PictureRequestParse::Invalid, 0, 0},
        {"picture rate=\"10\"width=\"640\"", PictureRequestParse::Invalid, 0, 0},
        {"pictures rate=\"10\" width=\"640\"", PictureRequestParse::NotPicture, 0, 0},
        {"preview videoDevice=\"a\" audioDevice=\"b\"", PictureRequestParse::NotPicture, 0, 0},
        {"", PictureRequestParse::NotPicture, 0, 0},
    };
    for (const Case& c : cases) {
        PictureRequest request;
        EXPECT_EQ(ParsePictureRequest(c.message, request), c.parse) << c.message;
        if (c.parse == PictureRequestParse::Valid) {
            EXPECT_EQ(request.rate, c.rate) << c.message;
            EXPECT_EQ(request.width, c.width) << c.message;
        }
    }
}

TEST(PictureScaling, Rgb24UnscaledComesOutUprightAndUnchanged) {
    // 3 x 2, bottom row first: the bottom row is all 10s, the top row 200s.
    const std::vector<BYTE> source = {10, 11, 12, 13, 14, 15, 16, 17, 18, 200, 201, 202, 203, 204, 205, 206, 207, 208};
    const PictureView view{3, 2, NamedFrameFormat::RGB24, 9, source.data()};
    std::vector<BYTE> out;
    ScaleToBgr(view, 3, 2, out);
    const std::vector<BYTE> upright = {200, 201, 202, 203, 204, 205, 206, 207, 208, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    EXPECT_EQ(out, upright);
}

TEST(PictureScaling, HalvingKeepsEdgesAndAspect) {
    // Left half black, right half white, 8 x 4 bottom-up.
    std::vector<BYTE> source(8 * 4 * 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            for (int k = 0; k < 3; ++k) source[(y * 8 + x) * 3 + k] = x < 4 ? 0 : 255;
    const PictureView view{8, 4, NamedFrameFormat::RGB24, 24, source.data()};
    EXPECT_EQ(ScaledHeight(view, 4), 2);
    EXPECT_EQ(ScaledHeight(PictureView{1920, 1080, NamedFrameFormat::NV12, 1920, nullptr}, 640), 360);
    std::vector<BYTE> out;
    ScaleToBgr(view, 4, 2, out);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(out[(y * 4 + 0) * 3], 0) << "row " << y;
        EXPECT_EQ(out[(y * 4 + 3) * 3], 255) << "row " << y;
    }
}

TEST(PictureScaling, Nv12ColoursAsTheCameraConverts) {
    struct Case {
        BYTE y, u, v;
        BYTE b, g, r;
    } cases[] = {
        {16, 128, 128, 0, 0, 0},        // black
        {235, 128, 128, 255, 255, 255}, // white
        {81, 90, 240, 0, 0, 255},       // red
        {41, 240, 110, 255, 0, 0},      // blue
    };
    for (const Case& c : cases) {
        // 2 x 2: one chroma pair.
        const std::vector<BYTE> frame = {c.y, c.y, c.y, c.y, c.u, c.v};
        std::vector<BYTE> out;
        ScaleToBgr(PictureView{2, 2, NamedFrameFormat::NV12, 2, frame.data()}, 2, 2, out);
        EXPECT_NEAR(out[0], c.b, 3) << int(c.y) << "," << int(c.u) << "," << int(c.v);
        EXPECT_NEAR(out[1], c.g, 3) << int(c.y) << "," << int(c.u) << "," << int(c.v);
        EXPECT_NEAR(out[2], c.r, 3) << int(c.y) << "," << int(c.u) << "," << int(c.v);
    }
}

TEST(ExchangePictureReader, CopiesTheNewestFrameOutOfTheExchange) {
    const wchar_t kName[] = L"Local\\QvPictureReaderTest";
    CNamedFrameExchange writer;
    ASSERT_EQ(writer.Open(kName), S_OK);
    CExchangePictureReader reader(kName);
    EXPECT_FALSE(reader.Look().fresh);

    std::vector<BYTE> card;
    DrawTestCard(3, card);
    ASSERT_EQ(writer.WriteFrame(kTestCardWidth, kTestCardHeight, NamedFrameFormat::RGB24, kTestCardWidth * 3, 30,
                                card.data()),
              S_OK);
    const CExchangePictureReader::Glance glance = reader.Look();
    EXPECT_TRUE(glance.fresh);
    PictureView view;
    DWORD count = 0;
    ASSERT_TRUE(reader.Take(view, count));
    EXPECT_EQ(count, glance.frameCount);
    EXPECT_EQ(view.width, kTestCardWidth);
    EXPECT_EQ(view.format, NamedFrameFormat::RGB24);

    // A later write changes the exchange, not the copy already taken.
    std::vector<BYTE> next;
    DrawTestCard(40, next);
    ASSERT_EQ(writer.WriteFrame(kTestCardWidth, kTestCardHeight, NamedFrameFormat::RGB24, kTestCardWidth * 3, 30,
                                next.data()),
              S_OK);
    EXPECT_EQ(0, memcmp(view.bytes, card.data(), card.size()));
    EXPECT_NE(reader.Look().frameCount, count);
}

TEST(JpegEncoder, BaselineJpegOfTheAskedSizeThatDecodesToThePicture) {
    ScopedComApartment apartment(COINIT_MULTITHREADED);
    std::vector<BYTE> card;
    DrawTestCard(7, card);
    const PictureView view{kTestCardWidth, kTestCardHeight, NamedFrameFormat::RGB24, kTestCardWidth * 3, card.data()};
    CJpegEncoder encoder;
    // At 160 wide the bars are 20 pixels: their saturated edges lose more to
    // the encoder's halved chroma.
    struct Case {
        LONG width, height;
        double minimumPsnr;
    } cases[] = {{640, 480, 30.0}, {320, 240, 30.0}, {160, 120, 25.0}};
    for (const Case& c : cases) {
        std::vector<BYTE> scaled;
        ScaleToBgr(view, c.width, ScaledHeight(view, c.width), scaled);
        std::string jpeg;
        ASSERT_EQ(encoder.Encode(scaled.data(), c.width, c.height, jpeg), S_OK) << c.width;
        ASSERT_GT(jpeg.size(), 4u);
        EXPECT_EQ(static_cast<BYTE>(jpeg[0]), 0xFF);
        EXPECT_EQ(static_cast<BYTE>(jpeg[1]), 0xD8);
        // Baseline: a SOF0 marker and no progressive SOF2.
        EXPECT_NE(jpeg.find("\xFF\xC0", 0, 2), std::string::npos) << c.width;
        EXPECT_EQ(jpeg.find("\xFF\xC2", 0, 2), std::string::npos) << c.width;
        UINT width = 0, height = 0;
        std::vector<BYTE> decoded;
        ASSERT_TRUE(DecodeJpeg(jpeg, width, height, decoded)) << c.width;
        EXPECT_EQ(width, static_cast<UINT>(c.width));
        EXPECT_EQ(height, static_cast<UINT>(c.height));
        EXPECT_GE(PsnrOfBytes(decoded, scaled), c.minimumPsnr) << c.width;
    }
}

}  // namespace
