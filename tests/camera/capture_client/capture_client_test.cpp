// The camera as a capture program we did not write sees it: a stock Windows
// build of FFmpeg opens "Kavo直播插件" through its DirectShow input, lists it
// and its formats, and records raw frames, which must be the stand-by
// picture when nothing is injected and exactly the injected picture while a
// producer in another process keeps one fresh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "camera/filter/picture_scaling.h"
#include "tests/camera/capture_client/capture_client.h"
#include "tests/camera/nv12_test_picture.h"

namespace {

const wchar_t kMovingValues[] = L"16,48,80,112,144,176,208,240";
const uint8_t kMovingBytes[] = {16, 48, 80, 112, 144, 176, 208, 240};
constexpr size_t kMovingCount = sizeof kMovingBytes;

class CaptureClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FfmpegPresent()); }
};

// The run is meant for the code page that QV_CAPTURE_ACP names (the build
// runs this program under 936 and once more under 1252): FFmpeg must find
// the camera by its name in either.
TEST_F(CaptureClientTest, RunsUnderTheIntendedCodePage) {
    wchar_t wanted[16] = {};
    if (!::GetEnvironmentVariableW(L"QV_CAPTURE_ACP", wanted, 16)) GTEST_SKIP() << "QV_CAPTURE_ACP not set";
    EXPECT_EQ(std::to_wstring(::GetACP()), std::wstring(wanted));
}

TEST_F(CaptureClientTest, DeviceListNamesTheCameraAmongVideoDevices) {
    const ProgramResult run = RunFfmpeg({L"-hide_banner", L"-nostdin", L"-list_devices", L"true", L"-f", L"dshow",
                                         L"-i", L"dummy"});
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut) << run.output;
    const std::string& log = run.output;
    const size_t video = log.find("DirectShow video devices");
    const size_t audio = log.find("DirectShow audio devices");
    ASSERT_NE(std::string::npos, video) << log;
    const size_t name = log.find("\"" + ToUtf8(kCameraName) + "\"");
    ASSERT_NE(std::string::npos, name) << "camera not listed:\n" << log;
    EXPECT_GT(name, video) << log;
    if (audio != std::string::npos) {
        EXPECT_LT(name, audio) << "listed as an audio device:\n" << log;
    }
    // Registered as a software device of the video capture category.
    EXPECT_NE(std::string::npos,
              log.find("@device_sw_{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\" + ToUtf8(kCameraName)))
        << log;
}

TEST_F(CaptureClientTest, OptionListShowsTheCapabilityTable) {
    const ProgramResult run = RunFfmpeg({L"-hide_banner", L"-nostdin", L"-list_options", L"true", L"-f", L"dshow",
                                         L"-i", CameraInput()});
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut) << run.output;
    const std::string& log = run.output;
    EXPECT_NE(std::string::npos, log.find("Pin \"Out\"")) << log;
    std::vector<std::string> listed;
    const std::regex line(R"(pixel_format=(\w+)\s+min s=(\d+x\d+) fps=([0-9.]+) max s=(\d+x\d+) fps=([0-9.]+))");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        EXPECT_EQ("80x60", m[2].str()) << m[0];
        EXPECT_EQ("0.2", m[3].str()) << m[0];  // one frame in 5 s
        listed.push_back(m[1].str() + " " + m[4].str() + " " + m[5].str());
    }
    // The current type first (640x480 on a fresh camera), then the table:
    // the six sizes in order, the two large ones in NV12 and RGB24.
    const std::vector<std::string> expected = {
        "bgr24 640x480 15",   "bgr24 160x120 15",  "bgr24 320x240 15",    "bgr24 480x360 15",   "bgr24 640x480 15",
        "nv12 1280x720 30",   "bgr24 1280x720 30", "nv12 1920x1080 30", "bgr24 1920x1080 30"};
    EXPECT_EQ(expected, listed) << log;
}

TEST_F(CaptureClientTest, StandbyPictureAt640x480WhenNothingIsInjected) {
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    const std::vector<uint8_t>& standby = StandbyFullPicture();
    ASSERT_EQ(kFullBytes, standby.size());
    const Capture capture = CaptureFrames({}, 5);
    // Without -framerate FFmpeg takes the rate of the type's AvgTimePerFrame.
    ExpectPictureCaptured(capture, standby, 640, 480, "10", 5);
}

TEST_F(CaptureClientTest, HalvedStandbyPictureAt320x240) {
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    const std::vector<uint8_t> half = HalvedPicture(StandbyFullPicture());
    const Capture capture = CaptureFrames({L"-video_size", L"320x240"}, 5);
    ExpectPictureCaptured(capture, half, 320, 240, "10", 5);
}

TEST_F(CaptureClientTest, InjectedPictureAt640x480ByteForByte) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(L"ramp", static_cast<LONG>(kFullBytes)));
    const std::vector<uint8_t> ramp = RampPicture(kFullBytes);
    // -framerate makes FFmpeg set 15 frames a second through IAMStreamConfig.
    const Capture capture = CaptureFrames({L"-framerate", L"15"}, 5);
    ExpectPictureCaptured(capture, ramp, 640, 480, "15", 5);
}

TEST_F(CaptureClientTest, InjectedPictureHalvedAt320x240) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(L"ramp", static_cast<LONG>(kFullBytes)));
    const std::vector<uint8_t> half = HalvedPicture(RampPicture(kFullBytes));
    const Capture capture = CaptureFrames({L"-video_size", L"320x240", L"-framerate", L"15"}, 5);
    ExpectPictureCaptured(capture, half, 320, 240, "15", 5);
}

// A producer stepping through uniform pictures: FFmpeg sees them in the
// order written, each whole, and sees the picture change while it records.
TEST_F(CaptureClientTest, MovingPictureArrivesInOrder) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(std::wstring(L"fill:") + kMovingValues, static_cast<LONG>(kFullBytes)));
    constexpr int kFrames = 30;  // two seconds
    const Capture capture = CaptureFrames({L"-framerate", L"15"}, kFrames);
    ExpectCapture(capture, 640, 480, "15", kFrames);
    if (HasFatalFailure()) return;
    std::vector<size_t> indices;
    for (size_t i = 0; i < kFrames; ++i) {
        const uint8_t* frame = capture.bytes.data() + i * kFullBytes;
        size_t index = 0;
        while (index < kMovingCount && kMovingBytes[index] != frame[0]) ++index;
        ASSERT_LT(index, kMovingCount) << "frame " << i << " starts with " << int(frame[0])
                                       << ", not one of the producer's values";
        const std::vector<uint8_t> uniform(kFullBytes, frame[0]);
        ASSERT_TRUE(std::equal(uniform.begin(), uniform.end(), frame))
            << "frame " << i << " is not one whole picture: " << FirstDifference(frame, uniform.data(), kFullBytes);
        indices.push_back(index);
    }
    size_t changes = 0;
    std::ostringstream seen;
    for (size_t index : indices) seen << index << ' ';
    std::printf("value indices of %d frames: %s\n", kFrames, seen.str().c_str());
    for (size_t i = 1; i < indices.size(); ++i) {
        const size_t step = (indices[i] + kMovingCount - indices[i - 1]) % kMovingCount;
        // Forward by less than half the cycle: a step back would be an old
        // picture delivered after a newer one.
        EXPECT_LE(step, kMovingCount / 2) << "frame " << i << "; value indices: " << seen.str();
        if (step) ++changes;
    }
    // About 20 rewrites fall into two seconds; a handful is plenty of proof.
    EXPECT_GE(changes, 4u) << "value indices: " << seen.str();
}

// The producer stops while FFmpeg records: the injected picture goes on
// until it is 2 s old, then the stand-by picture takes over for good, and
// the camera inside FFmpeg's process has marked the record empty.
TEST_F(CaptureClientTest, StandbyPictureReturnsOnceTheInjectedOneIsStale) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(L"ramp", static_cast<LONG>(kFullBytes)));
    constexpr int kFrames = 75;  // five seconds
    TemporaryFile output;
    Capture capture;
    std::thread recorder([&] { capture = CaptureFramesInto(output, {L"-framerate", L"15"}, kFrames); });
    // Once FFmpeg is recording, no more pictures.
    const DWORD started = ::GetTickCount();
    while (output.Size() < 3 * kFullBytes && ::GetTickCount() - started < kCaptureTimeoutMs) ::Sleep(10);
    producer.Stop();
    recorder.join();
    ExpectCapture(capture, 640, 480, "15", kFrames);
    if (HasFatalFailure()) return;

    const std::vector<uint8_t> ramp = RampPicture(kFullBytes);
    const std::vector<uint8_t>& standby = StandbyFullPicture();
    std::string kinds;  // i: injected, s: stand-by, ?: neither
    for (size_t i = 0; i < kFrames; ++i) {
        const uint8_t* frame = capture.bytes.data() + i * kFullBytes;
        kinds += CompareFrame(frame, ramp, 1920).empty() ? 'i' : CompareFrame(frame, standby, 1920).empty() ? 's' : '?';
    }
    std::printf("frames: %s\n", kinds.c_str());
    EXPECT_EQ(std::string::npos, kinds.find('?')) << kinds;
    EXPECT_EQ('i', kinds.front()) << kinds;
    EXPECT_EQ('s', kinds.back()) << kinds;
    // One change only: nothing injected comes back after the stand-by.
    EXPECT_EQ(std::string::npos, kinds.find('i', kinds.find('s'))) << kinds;
    FrameExchange* record = LoadedFrameExchange();
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(0, record->hasFrame) << "the camera in FFmpeg's process did not mark the stale picture";
}

// Pictures that reach the camera from outside its own image: written
// through another copy of the module (its WriteFrame copies them into the
// named exchange) or straight into the named exchange by a producer that
// loads no camera. Copied when the sizes match, else scaled with the
// aspect ratio kept; upright, not mirrored.
TEST_F(CaptureClientTest, PicturesFromOutsideTheImageInEverySize) {
    const std::wstring otherImage = L"--pattern ramp --length 921600";  // bin/QvCamera.dll, not the tests' copy
    const std::wstring direct = L"--named-nv12 1280x720";
    const std::vector<uint8_t> ramp = RampPicture(kFullBytes);
    const std::vector<uint8_t> nv12 = Nv12TestPicture(1280, 720);
    const PictureLayout rampLayout = PackedLayout(NamedFrameFormat::RGB24, 640, 480);
    const PictureLayout nv12Layout = PackedLayout(NamedFrameFormat::NV12, 1280, 720);
    struct Case {
        const wchar_t* name;
        const std::wstring& producer;
        const std::vector<uint8_t>& picture;
        PictureLayout written;
        NamedFrameFormat delivered;
        int width;
        int height;
    };
    const Case cases[] = {
        {L"another image, 640x480 RGB24", otherImage, ramp, rampLayout, NamedFrameFormat::RGB24, 640, 480},
        {L"another image, 320x240 RGB24", otherImage, ramp, rampLayout, NamedFrameFormat::RGB24, 320, 240},
        {L"another image, 1280x720 NV12", otherImage, ramp, rampLayout, NamedFrameFormat::NV12, 1280, 720},
        {L"direct, 1280x720 NV12", direct, nv12, nv12Layout, NamedFrameFormat::NV12, 1280, 720},
        {L"direct, 1920x1080 NV12", direct, nv12, nv12Layout, NamedFrameFormat::NV12, 1920, 1080},
        {L"direct, 1280x720 RGB24", direct, nv12, nv12Layout, NamedFrameFormat::RGB24, 1280, 720},
        {L"direct, 640x480 RGB24", direct, nv12, nv12Layout, NamedFrameFormat::RGB24, 640, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        BackgroundProducer producer;
        ASSERT_EQ("", producer.StartOutsideTheCopy(c.producer));
        const bool nv12Out = c.delivered == NamedFrameFormat::NV12;
        const PictureLayout layout = PackedLayout(c.delivered, c.width, c.height);
        std::vector<uint8_t> expected(PictureBytes(layout));
        DrawPicture(c.written, c.picture.data(), layout, expected.data());
        const std::wstring size = std::to_wstring(c.width) + L"x" + std::to_wstring(c.height);
        const bool large = c.width >= 1280;
        std::vector<std::wstring> options = {L"-video_size", size, L"-framerate", large ? L"30" : L"15"};
        if (large) options.insert(options.end(), {L"-pixel_format", nv12Out ? L"nv12" : L"bgr24"});
        const Capture capture = CaptureFrames(options, 3, nv12Out ? L"nv12" : L"bgr24");
        ASSERT_NO_FATAL_FAILURE(ExpectCapture(capture, c.width, c.height, large ? "30" : "15", 3));
        EXPECT_EQ(nv12Out ? "nv12" : "bgr24", capture.pixelFormat);
        for (size_t i = 0; i < 3; ++i) {
            const uint8_t* frame = capture.bytes.data() + i * expected.size();
            if (nv12Out)
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame))
                    << "frame " << i << ": " << FirstDifference(frame, expected.data(), expected.size());
            else
                EXPECT_EQ("", CompareFrame(frame, expected, static_cast<size_t>(c.width) * 3)) << "frame " << i;
        }
    }
}

// 480x360 is listed but refused by the camera: FFmpeg's request ends on the
// first listed type that connects, 320x240, and FFmpeg reports that size.
TEST_F(CaptureClientTest, ListedButRefusedSizeConnectsAt320x240) {
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    const std::vector<uint8_t> half = HalvedPicture(StandbyFullPicture());
    const Capture capture = CaptureFrames({L"-video_size", L"480x360"}, 2);
    ExpectCapture(capture, 320, 240, "10", 2);
    if (HasFatalFailure()) return;
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ("", CompareFrame(capture.bytes.data() + i * kHalfBytes, half, 960)) << "frame " << i;
}

}  // namespace
