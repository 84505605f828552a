// The camera the page picked, all the way to the RTMP server: a client on
// port 19723 has the real daemon bridge the demo webcam into the camera
// with the real QvGraph.exe ("preview") and publish the camera ("start");
// what the server received, read back with Debian's ffmpeg, is the webcam's
// picture. A bridge killed from outside comes back through the daemon's
// supervisor with the same camera.
#include "tests/bridge/webcam_pictures.h"
#include "tests/daemon/command/wire_messages.h"
#include "tests/e2e/publish_chain.h"
#include "tests/e2e/status_session.h"
#include "tests/support/child_process.h"
#include "tests/support/rtmp/component_check.h"
#include "tests/support/rtmp/stream_readback.h"

#include <gtest/gtest.h>

namespace {

// H.264 at the level-0 bitrate keeps a picture of large flat areas well
// above this; the stand-by picture or another camera falls far below.
constexpr double kMinPsnr = 30.0;
// Longer than the camera's 2 s freshness limit: pictures seen after this
// came from a bridge that runs now.
constexpr DWORD kPastFreshnessMs = 3500;

// The last of a few frames of the stream at its size, as an RgbPicture.
std::string ReadPicture(const std::string& url, RgbPicture& picture, int width = 640, int height = 480) {
    const DecodedVideo video = DecodeVideoFrames(url, width, height, 3);
    if (!video.failure.empty() || video.frames.empty()) return "no frames: " + video.failure;
    const std::vector<uint8_t>& rgb = video.frames.back();
    picture = RgbPicture{width, height, std::vector<uint8_t>(rgb.size())};
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        picture.bgr[i] = rgb[i + 2];
        picture.bgr[i + 1] = rgb[i + 1];
        picture.bgr[i + 2] = rgb[i];
    }
    return std::string();
}

// A client of port 19723, greeted, that has had the demo webcam previewed;
// empty on success, else what went wrong.
std::string ConnectAndPreview(WireClient& client, const std::wstring& videoDevice = kDemoWebcam) {
    std::string greeting;
    if (!client.Connect(kCommandPort, 5000)) return "no connection to port 19723";
    if (!client.ReadMessage(greeting, 15000)) return "no greeting";
    if (!client.Send(PublishChain::PreviewMessage(videoDevice))) return "preview not sent";
    const std::string reply = NextReply(client, 20000);
    return reply == kPreviewReply ? std::string() : "the preview was answered with " + Printable(reply);
}

// The one bridge process, or 0 when there is not exactly one.
DWORD OnlyBridge() {
    const std::vector<DWORD> bridges = ProcessesNamed(L"QvGraph.exe");
    return bridges.size() == 1 ? bridges[0] : 0;
}

// Waits for a bridge other than `previous`; its process id, or 0.
DWORD WaitForBridge(DWORD previous, DWORD timeoutMs) {
    const DWORD started = ::GetTickCount();
    for (;;) {
        const DWORD id = OnlyBridge();
        if (id != 0 && id != previous) return id;
        if (::GetTickCount() - started > timeoutMs) return 0;
        ::Sleep(100);
    }
}

TEST(BridgeChainTest, PreviewedWebcamIsPublishedAndSurvivesItsBridgeBeingKilled) {
    const RgbPicture webcam = MakeQuadrantPicture(640, 480);
    const std::wstring picturePath = ScratchDirectory(L"bridge-chain-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, webcam));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(chain.Start(picturePath));

    WireClient client;
    ASSERT_EQ("", ConnectAndPreview(client));
    const DWORD bridge = WaitForBridge(0, 10000);
    ASSERT_NE(0u, bridge) << "no QvGraph.exe after preview";

    const std::string url = chain.RoomUrl();
    const size_t from = chain.Server().EventCount();
    ASSERT_TRUE(client.Send(PublishChain::StartMessage(url, 0, kDemoWebcam)));
    ASSERT_EQ(Printable(kStartReply), Printable(NextReply(client, 20000)));
    ASSERT_TRUE(chain.Server().WaitForEvent(RtmpEvent::kPublish, from, 20000, nullptr, "room1"))
        << "no publish; server log:\n" << chain.Server().Log();

    const std::string playUrl = chain.Server().Url("room1");
    RgbPicture seen;
    ASSERT_EQ("", ReadPicture(playUrl, seen));
    const double psnr = Psnr(seen, webcam);
    std::printf("published webcam picture: PSNR %.2f dB\n", psnr);
    EXPECT_GE(psnr, kMinPsnr) << "the stream does not show the webcam's picture";

    {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, bridge));
        ASSERT_TRUE(process && ::TerminateProcess(process.get(), 1)) << "cannot kill QvGraph.exe";
    }
    const DWORD killed = ::GetTickCount();
    EXPECT_NE(0u, WaitForBridge(bridge, 10000)) << "the supervisor did not start QvGraph.exe again";
    const DWORD waited = ::GetTickCount() - killed;
    if (waited < kPastFreshnessMs) ::Sleep(kPastFreshnessMs - waited);
    ASSERT_EQ("", ReadPicture(playUrl, seen));
    const double psnrAfter = Psnr(seen, webcam);
    std::printf("after the bridge was killed and restarted: PSNR %.2f dB\n", psnrAfter);
    EXPECT_GE(psnrAfter, kMinPsnr) << "the restarted bridge does not deliver the same webcam";

    ASSERT_TRUE(client.Send(Message(L"stop")));
    NextReply(client, 5000);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe", L"QvShow.exe", L"ffmpeg.exe"}, 5000)) << "executables left after stop";
}

// The webcam named as Chromium labels a USB camera ("Name (vvvv:pppp)"):
// previewed and published all the same.
TEST(BridgeChainTest, BrowserLabelOfTheWebcamIsPreviewedAndPublished) {
    const RgbPicture webcam = MakeQuadrantPicture(640, 480);
    const std::wstring picturePath = ScratchDirectory(L"label-chain-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, webcam));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(chain.Start(picturePath));
    const std::wstring label = std::wstring(kDemoWebcam) + L" (1bcf:2284)";

    WireClient client;
    ASSERT_EQ("", ConnectAndPreview(client, label));
    ASSERT_NE(0u, WaitForBridge(0, 10000)) << "no QvGraph.exe after preview";
    const size_t from = chain.Server().EventCount();
    ASSERT_TRUE(client.Send(PublishChain::StartMessage(chain.RoomUrl(), 0, label)));
    ASSERT_EQ(Printable(kStartReply), Printable(NextReply(client, 20000)));
    ASSERT_TRUE(chain.Server().WaitForEvent(RtmpEvent::kPublish, from, 20000, nullptr, "room1"))
        << "no publish; server log:\n" << chain.Server().Log();
    // Past the camera's freshness limit: the pictures come from the bridge.
    ::Sleep(kPastFreshnessMs);
    RgbPicture seen;
    ASSERT_EQ("", ReadPicture(chain.Server().Url("room1"), seen));
    const double psnr = Psnr(seen, webcam);
    std::printf("webcam named by its browser label: PSNR %.2f dB\n", psnr);
    EXPECT_GE(psnr, kMinPsnr) << "the stream does not show the webcam's picture";

    ASSERT_TRUE(client.Send(Message(L"stop")));
    NextReply(client, 5000);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe", L"QvShow.exe", L"ffmpeg.exe"}, 5000)) << "executables left after stop";
}

// The HD levels from a 1280 x 720 webcam: the stream has the level's size
// in H.264 and shows the webcam's picture (at 1920 x 1080 as the camera
// scales it), and at 1280 x 720 it reaches the server at a live rate.
TEST(BridgeChainTest, HdLevelsPublishTheWebcamAtTheirSize) {
    const RgbPicture webcam = MakeQuadrantPicture(1280, 720);
    const std::wstring picturePath = ScratchDirectory(L"hd-chain-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, webcam));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(chain.Start(picturePath, L"yuy2:1280x720"));

    WireClient client;
    ASSERT_EQ("", ConnectAndPreview(client));

    const struct {
        int level, width, height;
        double minRate;  // 0: printed only
    } cases[] = {{4, 1280, 720, 24.0}, {5, 1920, 1080, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level));
        // A room of each level's own: a replaced publisher's socket may
        // linger in Wine until nginx drops it.
        const std::string room = "hd" + std::to_string(c.level);
        const size_t from = chain.Server().EventCount();
        ASSERT_TRUE(client.Send(PublishChain::StartMessage(
            chain.Server().Url(room + "?k=00112233445566778899aabbccddeeff&t=5f5e1000"), c.level, kDemoWebcam)));
        ASSERT_EQ(Printable(kStartReply), Printable(NextReply(client, 20000)));
        // QvShow.exe probes the listed hardware encoders first.
        ASSERT_TRUE(chain.Server().WaitForEvent(RtmpEvent::kPublish, from, 40000, nullptr, room))
            << "no publish; server log:\n" << chain.Server().Log();

        const std::string playUrl = chain.Server().Url(room);
        const StreamInfo info = ProbeStream(playUrl);
        ASSERT_EQ("", info.failure);
        EXPECT_EQ("h264", info.videoCodec);
        EXPECT_EQ(c.width, info.width);
        EXPECT_EQ(c.height, info.height);
        RgbPicture seen;
        ASSERT_EQ("", ReadPicture(playUrl, seen, c.width, c.height));
        const double psnr = Psnr(seen, Stretch(webcam, c.width, c.height));
        const ArrivalRate arrival = MeasureArrivalRate(playUrl, 10);
        ASSERT_EQ("", arrival.failure);
        std::printf("level %d: %dx%d %s, PSNR %.2f dB, %.1f frames a second arriving (%d in %.1f s)\n", c.level,
                    info.width, info.height, info.videoCodec.c_str(), psnr, arrival.rate, arrival.frames,
                    arrival.seconds);
        EXPECT_GE(psnr, kMinPsnr) << "the stream does not show the webcam's picture";
        if (c.minRate > 0) EXPECT_GE(arrival.rate, c.minRate);
    }

    ASSERT_TRUE(client.Send(Message(L"stop")));
    NextReply(client, 5000);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe", L"QvShow.exe", L"ffmpeg.exe"}, 5000)) << "executables left after stop";
}

}  // namespace

namespace {

// A webcam that stops delivering without a word: the bridge ends with
// "camera stalled", the daemon says so and starts it again.
TEST(BridgeChainTest, StalledWebcamIsReportedAndBridgedAgain) {
    const std::wstring picturePath = ScratchDirectory(L"bridge-stall-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, MakeQuadrantPicture(640, 480)));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(chain.Start(picturePath, kDemoWebcamFormats, L" --stall-after 2"));
    StatusSession session;
    ASSERT_TRUE(session.Open()) << session.Problem();
    ASSERT_TRUE(session.Send(ToUtf8(L"preview videoDevice=\"" + std::wstring(kDemoWebcam) + L"\" audioDevice=\"" +
                                    kDemoMicrophone + L"\"")));
    StatusMessage delivering, retrying;
    ASSERT_TRUE(session.WaitForStatus("camera", {"delivering"}, 20000, &delivering)) << LastSeen(session);
    EXPECT_EQ("YUY2 640x480 30 fps", JsonField(delivering.json, "format")) << delivering.json;
    ASSERT_TRUE(session.WaitForStatus("camera", {"retrying", "failed"}, 2000 + 4000 + 3000, &retrying))
        << LastSeen(session);
    EXPECT_EQ("retrying", JsonField(retrying.json, "state")) << retrying.json;
    EXPECT_NE(std::string::npos, JsonField(retrying.json, "reason").find("stalled")) << retrying.json;
    printf("camera stalled reported %lu ms after delivering began\n", retrying.tick - delivering.tick);
    EXPECT_LE(retrying.tick - delivering.tick, 2000u + 4000u + 1000u) << "the stall was seen late";
    EXPECT_TRUE(session.WaitForStatus("camera", {"delivering"}, 15000)) << "not bridged again\n" << LastSeen(session);
    session.Send("stop");
    session.WaitForStatus("camera", {"idle"}, 10000);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe"}, 5000)) << "the bridge outlived the stop";
}

}  // namespace
