// The camera behind the encoder's own use of FFmpeg: captured with the video
// options of the publish presets, encoded to H.264 in FLV and decoded again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/camera/capture_client/capture_client.h"

namespace {

class PublishPresetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FfmpegPresent()); }
};

// The video half of the encoder's four publish presets (the audio half needs
// a working microphone and an AAC encoder this build lacks), written to an
// FLV file instead of a stream, then decoded again.
struct PublishPreset {
    const wchar_t* rate;
    const wchar_t* size;
    const wchar_t* bitrate;
    const wchar_t* x264;
    bool zeroLatency;
    int width;
    int height;
};

const PublishPreset kPublishPresets[] = {
    {L"10", L"640*480", L"300k", L"keyint=10:keyint_min=6", true, 640, 480},
    {L"8", L"480*360", L"100k", L"keyint=10:keyint_min=6", true, 480, 360},
    {L"7", L"320*240", L"40k", L"keyint=14:keyint_min=7", false, 320, 240},
    {L"7", L"480*360", L"30k", L"keyint=20:keyint_min=20", true, 480, 360},
};

struct Decoded {
    std::string problem;  // empty when both runs went well
    std::vector<uint8_t> bytes;  // top-down BGR frames
};

Decoded PublishAndDecode(const PublishPreset& preset, int frames) {
    Decoded result;
    TemporaryFile flv;
    std::vector<std::wstring> publish = {L"-hide_banner", L"-nostdin", L"-y", L"-f", L"dshow", L"-i", CameraInput(),
                                         L"-r:v", preset.rate, L"-s:v", preset.size, L"-b:v", preset.bitrate,
                                         L"-c:v", L"libx264"};
    if (preset.zeroLatency) {
        publish.push_back(L"-tune");
        publish.push_back(L"zerolatency");
    }
    for (const wchar_t* a : {L"-x264-params", preset.x264, L"-pix_fmt", L"yuv420p", L"-frames:v"}) publish.push_back(a);
    publish.push_back(std::to_wstring(frames));
    for (const wchar_t* a : {L"-f", L"flv"}) publish.push_back(a);
    publish.push_back(flv.Path());
    const ProgramResult encoded = RunFfmpeg(publish);
    if (encoded.timedOut || encoded.exitCode != 0) return {"publishing failed:\n" + encoded.output, {}};

    TemporaryFile raw;
    const ProgramResult decoded = RunFfmpeg({L"-hide_banner", L"-nostdin", L"-y", L"-f", L"flv", L"-i", flv.Path(),
                                             L"-f", L"rawvideo", L"-pix_fmt", L"bgr24", raw.Path()});
    if (decoded.timedOut || decoded.exitCode != 0) return {"decoding failed:\n" + decoded.output, {}};
    result.bytes = raw.Read();
    const size_t expected = static_cast<size_t>(preset.width) * preset.height * 3 * frames;
    if (result.bytes.size() != expected) {
        result.problem = std::to_string(result.bytes.size()) + " bytes decoded instead of " + std::to_string(expected) +
                         ":\n" + encoded.output + decoded.output;
    }
    return result;
}

double MeanAbsoluteDifference(const uint8_t* a, const uint8_t* b, size_t bytes) {
    unsigned long long sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    return double(sum) / double(bytes);
}

// Through the 640x480 preset the stand-by picture comes out as the picture
// it is, upright: close to the picture, far from it upside down.
TEST_F(PublishPresetTest, StandbyPictureComesOutUpright) {
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    constexpr int kFrames = 10;
    const Decoded decoded = PublishAndDecode(kPublishPresets[0], kFrames);
    ASSERT_EQ("", decoded.problem);
    const std::vector<uint8_t>& standby = StandbyFullPicture();
    const std::vector<uint8_t> topDown = FlipRows(standby, 1920);
    double worstUpright = 0, bestUpsideDown = 255;
    for (size_t i = 0; i < kFrames; ++i) {
        const uint8_t* frame = decoded.bytes.data() + i * kFullBytes;
        const double upright = MeanAbsoluteDifference(frame, topDown.data(), kFullBytes);
        const double upsideDown = MeanAbsoluteDifference(frame, standby.data(), kFullBytes);
        EXPECT_LT(upright, 6.0) << "frame " << i;
        EXPECT_GT(upsideDown, 4 * upright) << "frame " << i;
        worstUpright = std::max(worstUpright, upright);
        bestUpsideDown = std::min(bestUpsideDown, upsideDown);
    }
    std::printf("mean byte difference to the picture: at most %.2f; to it upside down: at least %.2f\n", worstUpright,
                bestUpsideDown);
}

// An injected colour, at every preset's size and rate: blue, green and red
// stay in their places. The conversion to YUV and back may move each by a
// few steps (FFmpeg's unscaled path at 640x480 gives 4 darker throughout);
// a swap of channels would be 80 steps or more off.
TEST_F(PublishPresetTest, InjectedColourKeepsItsChannelsAtEverySize) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(L"bgr:40,120,200", static_cast<LONG>(kFullBytes)));
    const int colour[3] = {40, 120, 200};
    for (const PublishPreset& preset : kPublishPresets) {
        SCOPED_TRACE(ToUtf8(std::wstring(preset.size) + L" at " + preset.rate + L" fps, " + preset.bitrate));
        constexpr int kFrames = 7;
        const Decoded decoded = PublishAndDecode(preset, kFrames);
        ASSERT_EQ("", decoded.problem);
        int worst = 0;
        for (size_t i = 0; i < decoded.bytes.size(); ++i) worst = std::max(worst, std::abs(decoded.bytes[i] - colour[i % 3]));
        std::printf("%ls at %ls fps, %ls: decoded bytes at most %d steps off\n", preset.size, preset.rate,
                    preset.bitrate, worst);
        EXPECT_LE(worst, 8) << "a decoded byte is " << worst << " steps off its colour";
    }
}

}  // namespace
