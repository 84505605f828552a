// The bridge's parts that need no device: its command line as the daemon
// quotes it, the choice among a webcam's types and the pacing of writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bridge/bridge_command_line.h"
#include "bridge/format_choice.h"
#include "bridge/stall_watchdog.h"
#include "bridge/write_pacing.h"
#include "bridge/yuy2_to_nv12.h"
#include "daemon/publisher/command_line_quoting.h"
#include "tests/support/child_process.h"

namespace {

// The argument text exactly as runCamera builds it.
std::wstring DaemonArguments(const std::wstring& audio, const std::wstring& video) {
    return L" -a \"" + EscapeQuotedValue(audio, true) + L"\" -v \"" + EscapeQuotedValue(video, true) + L"\"";
}

TEST(BridgeCommandLine, TakesBackWhatTheDaemonQuoted) {
    const struct {
        std::wstring audio, video;
    } cases[] = {
        {L"Mic 1", L"Cam A"},
        {L"", L""},
        {L"麦克风 (USB)", L"USB2.0 摄像头"},
        {L"say \"hi\"", L"C:\\path\\"},
        {L"trailing \\\\", L"-v"},
    };
    for (const auto& c : cases) {
        BridgeArguments parsed;
        const std::wstring line = DaemonArguments(c.audio, c.video);
        ASSERT_TRUE(ParseBridgeCommandLine(line.c_str(), parsed)) << ToUtf8(line);
        EXPECT_EQ(c.audio, parsed.audioDevice) << ToUtf8(line);
        EXPECT_EQ(c.video, parsed.videoDevice) << ToUtf8(line);
    }
    BridgeArguments byHand;
    ASSERT_TRUE(ParseBridgeCommandLine(L"C:\\x\\QvGraph.exe -a Mic -v \"My Cam\"", byHand));
    EXPECT_EQ(L"My Cam", byHand.videoDevice);
}

TEST(BridgeCommandLine, RefusesEveryOtherForm) {
    const wchar_t* const lines[] = {
        L"",
        L" ",
        L" -a \"Mic\"",
        L" -v \"Cam\" -a \"Mic\"",
        L" -a \"Mic\" -v \"Cam\" extra",
        L" -a \"Mic\" -v",
        L" -A \"Mic\" -V \"Cam\"",
        L" /a \"Mic\" /v \"Cam\"",
    };
    for (const wchar_t* line : lines) {
        BridgeArguments parsed;
        EXPECT_FALSE(ParseBridgeCommandLine(line, parsed)) << ToUtf8(line);
    }
}

CaptureFormatOffer Offer(PixelFormat format, int width, int height, int fps = 30) {
    const LONGLONG interval = fps > 0 ? 10000000 / fps : 0;
    return {format, width, height, interval, interval};
}

TEST(FormatChoice, RanksByRateThenSizeUpTo1080pThenCost) {
    using F = PixelFormat;
    const struct {
        const char* name;
        std::vector<CaptureFormatOffer> offers;
        std::vector<size_t> expected;
    } cases[] = {
        {"largest first, NV12 then YUY2 then RGB",
         {Offer(F::Rgb24, 640, 480), Offer(F::Yuy2, 1280, 720), Offer(F::Nv12, 1280, 720), Offer(F::Yuy2, 640, 480)},
         {2, 1, 3, 0}},
        {"up to 1920x1080, beyond it the smallest and last",
         {Offer(F::Yuy2, 2560, 1440), Offer(F::Yuy2, 320, 240), Offer(F::Yuy2, 1920, 1080), Offer(F::Yuy2, 3840, 2160)},
         {2, 1, 0, 3}},
        {"4:3 at full height before a smaller 16:9",
         {Offer(F::Yuy2, 1280, 720), Offer(F::Yuy2, 1440, 1080), Offer(F::Yuy2, 640, 360)},
         {1, 0, 2}},
        {"a larger MJPG before a smaller uncompressed",
         {Offer(F::Yuy2, 640, 480), Offer(F::Mjpg, 1280, 720)}, {1, 0}},
        {"uncompressed before MJPG at the same size and rate",
         {Offer(F::Mjpg, 1280, 720), Offer(F::Rgb32, 1280, 720)}, {1, 0}},
        {"30 fps before a larger 15 fps", {Offer(F::Yuy2, 1920, 1080, 15), Offer(F::Mjpg, 640, 480)}, {1, 0}},
        {"29.97 fps counts as 30", {Offer(F::Yuy2, 640, 480), {F::Yuy2, 1280, 720, 333667, 333667}}, {1, 0}},
        {"a type without a rate counts as fast", {Offer(F::Yuy2, 640, 480), Offer(F::Rgb32, 1280, 720, 0)}, {1, 0}},
        {"too slow gives way", {Offer(F::Rgb24, 640, 480, 10), Offer(F::Yuy2, 320, 240, 15)}, {1, 0}},
        {"unknown formats left out", {Offer(F::Unknown, 640, 480), Offer(F::Rgb32, 640, 480)}, {1}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, RankCaptureFormats(c.offers)) << c.name;
}

// Every luma byte kept, each chroma byte the rounded mean of its two rows,
// at widths that end in the middle of a vector block and on its edge.
TEST(Yuy2ToNv12, RegroupsWithoutColourConversion) {
    for (const int width : {2, 16, 38, 1280}) {
        const int height = 6;
        const size_t stride = static_cast<size_t>(width) * 2 + 8;  // padded rows
        std::vector<BYTE> yuy2(stride * height);
        for (size_t i = 0; i < yuy2.size(); ++i) yuy2[i] = static_cast<BYTE>(i * 37 + i / 7);
        std::vector<BYTE> nv12(static_cast<size_t>(width) * height * 3 / 2, 0xEE);
        Yuy2ToNv12(yuy2.data(), stride, width, height, nv12.data());
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (nv12[static_cast<size_t>(y) * width + x] != yuy2[y * stride + 2 * x]) ++wrong;
                if (y % 2) continue;
                const BYTE expected = static_cast<BYTE>((yuy2[y * stride + 2 * x + 1] + yuy2[(y + 1) * stride + 2 * x + 1] + 1) / 2);
                if (nv12[static_cast<size_t>(width) * height + static_cast<size_t>(y / 2) * width + x] != expected) ++wrong;
            }
        }
        EXPECT_EQ(0, wrong) << "bytes wrong at width " << width;
    }
}

TEST(FormatChoice, AsksForThirtyAFrameWhereTheRangeAllows) {
    const struct {
        LONGLONG min, max, expected;
    } cases[] = {
        {166666, 10000000, kWantedFrameInterval},  // 60 fps able: asked for 30
        {666666, 10000000, 666666},                // at most 15: its fastest
        {166666, 166666, 166666},                  // a fixed 60
        {0, 0, 0},                                 // says nothing: left alone
    };
    for (const auto& c : cases) {
        const CaptureFormatOffer offer = {PixelFormat::Yuy2, 640, 480, c.min, c.max};
        EXPECT_EQ(c.expected, ChooseFrameInterval(offer)) << c.min << ".." << c.max;
    }
}

// Pictures written in one second of a webcam at `fps`, arrival times
// shifted by `jitter` ticks on every other picture (ticks: 1 ms).
int WrittenInOneSecond(int fps, int jitter) {
    CWritePacing pacing(1000 * 1000);
    int written = 0;
    for (int i = 0; i < fps; ++i) {
        const LONGLONG at = 1000000LL * i / fps + (i % 2 ? -jitter : jitter);
        if (pacing.Due(at + 1000000)) ++written;
    }
    return written;
}

TEST(WritePacing, AtMostThirtyASecondWithoutLosingAThirtyFpsWebcam) {
    EXPECT_EQ(30, WrittenInOneSecond(30, 0));
    EXPECT_EQ(30, WrittenInOneSecond(30, 3000));  // +-3 ms jitter
    EXPECT_EQ(15, WrittenInOneSecond(15, 0));
    EXPECT_EQ(30, WrittenInOneSecond(60, 0));
    EXPECT_LE(WrittenInOneSecond(31, 0), 30);
    EXPECT_LE(WrittenInOneSecond(120, 500), 30);
}

// A webcam whose clock runs a little fast or slow, for a minute, with and
// without jitter (every other picture shifted both ways): the pacing holds
// none back. Ticks: microseconds.
TEST(WritePacing, AWebcamNearThirtyLosesNothingInAMinute) {
    const struct {
        double fps;
        int jitter;
    } cases[] = {{30.03, 0}, {30.03, 3000}, {30.1, 0}, {29.97, 0}, {29.97, 3000}, {30.0, 4000}};
    for (const auto& c : cases) {
        CWritePacing pacing(1000 * 1000);
        const int frames = static_cast<int>(c.fps * 60);
        int heldBack = 0;
        for (int i = 0; i < frames; ++i) {
            const LONGLONG at = static_cast<LONGLONG>(1e6 * i / c.fps) + (i % 2 ? -c.jitter : c.jitter);
            if (!pacing.Due(at + 1000000)) ++heldBack;
        }
        std::printf("%.2f fps, jitter %d us: %d of %d pictures held back in 60 s\n", c.fps, c.jitter, heldBack, frames);
        EXPECT_EQ(0, heldBack) << c.fps << " fps, jitter " << c.jitter;
    }
}

// Clearly faster webcams stay near 30 written a second over a minute.
TEST(WritePacing, FasterWebcamsStayNearThirtyOverAMinute) {
    for (int fps : {31, 40, 60, 120}) {
        CWritePacing pacing(1000 * 1000);
        int written = 0;
        for (int i = 0; i < fps * 60; ++i) written += pacing.Due(1000000LL * i / fps + 1000000) ? 1 : 0;
        EXPECT_LE(written, 60 * 30 + 60 * 30 / 100) << fps << " fps";  // within 1 %
        EXPECT_GE(written, 60 * 30 - 60 * 30 / 10) << fps << " fps";
    }
}

TEST(WritePacing, NoBurstAfterAPause) {
    CWritePacing pacing(1000);
    EXPECT_TRUE(pacing.Due(0));
    EXPECT_TRUE(pacing.Due(5000));  // five seconds without pictures
    EXPECT_FALSE(pacing.Due(5010));
    EXPECT_TRUE(pacing.Due(5034));
}

// 10 s for the first picture, 3 s between pictures after it; a picture
// noted after the clock was read is no age (it must not wrap to a huge one).
TEST(StallWatchdog, FirstPictureGetsLongerThanTheGapsAfterIt) {
    CStallWatchdog watchdog;
    watchdog.Restart(1000);
    const struct {
        DWORD picture;  // 0: none noted before this look
        DWORD now;
        bool stalled;
    } looks[] = {
        {0, 10999, false}, {0, 11000, true},                     // no first picture yet
        {2000, 4999, false}, {2000, 5000, true},                 // 3 s after a picture
        {6000, 5900, false}, {0, 8999, false}, {0, 9000, true},  // the clock read before the picture
    };
    for (const auto& look : looks) {
        if (look.picture) watchdog.NotePicture(look.picture);
        EXPECT_EQ(look.stalled, watchdog.StalledAt(look.now)) << "picture " << look.picture << ", now " << look.now;
    }
    watchdog.Restart(20000);
    EXPECT_EQ(kFirstPictureLimitMs, watchdog.LimitMs()) << "a restart waits for a first picture again";
    EXPECT_FALSE(watchdog.StalledAt(25000));
}

}  // namespace
