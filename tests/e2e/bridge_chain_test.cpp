// The camera the page picked, all the way to the RTMP server: a client on
// port 19723 has the real daemon bridge the demo webcam into the camera
// with the real QvGraph.exe ("preview") and publish the camera ("start");
// what the server received, read back with Debian's ffmpeg, is the webcam's
// picture. A bridge killed from outside comes back through the daemon's
// supervisor with the same camera.
#include "common/com_apartment.h"
#include "tests/bridge/webcam_pictures.h"
#include "tests/daemon/command/wire_messages.h"
#include "tests/e2e/publish_chain.h"
#include "tests/daemon/picture/jpeg_decoding.h"
#include "tests/e2e/status_session.h"
#include "tests/support/child_process.h"
#include "tests/support/rtmp/component_check.h"
#include "tests/support/rtmp/stream_readback.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

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
        if (c.minRate > 0) {
            EXPECT_GE(arrival.rate, c.minRate);
        }
    }

    ASSERT_TRUE(client.Send(Message(L"stop")));
    NextReply(client, 5000);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe", L"QvShow.exe", L"ffmpeg.exe"}, 5000)) << "executables left after stop";
}

// Processor time (user and system, ms) of every process of that image, as
// Linux counts it: Wine's GetProcessTimes for another process does not
// follow its threads. Read through Wine's Z: drive from /proc/PID/stat,
// whose command name is the image's (at most 15 characters); 100 ticks a
// second, as Linux reports them to user space. Only processes of this build
// tree count (their command line holds its path, or their environment this
// test's Wine prefix): other trees' tests on the machine run the same images.
// -1 when no such process was found.
std::string FileText(const std::wstring& path) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!file || file.get() == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

double ProcessorMs(const std::string& image) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string tree = path;
    const size_t build = tree.find("\\build\\");
    if (build == std::string::npos) return -1;
    tree.erase(build + 7);
    char prefix[1024] = {};
    ::GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
    const std::string ownPrefix = std::string("WINEPREFIX=") + prefix + '\0';
    double total = 0;
    bool found = false;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return -1;
    do {
        const std::wstring pid = entry.cFileName;
        if (pid.empty() || pid.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        const std::string stat = FileText(L"Z:\\proc\\" + pid + L"\\stat");
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos ||
            stat.compare(open + 1, close - open - 1, image.substr(0, 15)) != 0)
            continue;
        if (FileText(L"Z:\\proc\\" + pid + L"\\cmdline").find(tree) == std::string::npos &&
            (prefix[0] == 0 || FileText(L"Z:\\proc\\" + pid + L"\\environ").find(ownPrefix) == std::string::npos))
            continue;
        found = true;
        // After the command name: state (3), then fields 4 to 13, then utime
        // (14) and stime (15).
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && (fields >> field); ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        total += (utime + stime) * 10.0;
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return found ? total : -1;
}

// A common 1080p USB webcam (uncompressed HD only at a few frames a second,
// MJPG at 30) at level 5: the bridge takes MJPG 1920 x 1080 at 30 and
// decodes it itself, and the stream carries the webcam's own 1080p picture
// at a live rate.
TEST(BridgeChainTest, MjpgWebcamAtLevel5IsItsOwn1080pPicture) {
    const RgbPicture webcam = MakeQuadrantPicture(1920, 1080);
    const std::wstring picturePath = ScratchDirectory(L"mjpg-chain-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, webcam));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(
        chain.Start(picturePath, L"yuy2:640x480@30,yuy2:1280x720@10,yuy2:1920x1080@5,mjpg:1920x1080@30"));
    StatusSession session;
    ASSERT_TRUE(session.Open()) << session.Problem();
    WireClient client;
    ASSERT_EQ("", ConnectAndPreview(client));
    StatusMessage delivering;
    ASSERT_TRUE(session.WaitForStatus("camera", {"delivering"}, 20000, &delivering));
    EXPECT_EQ("MJPG 1920x1080 30 fps decoded to NV12", JsonField(delivering.json, "format")) << delivering.json;

    const size_t from = chain.Server().EventCount();
    ASSERT_TRUE(client.Send(PublishChain::StartMessage(
        chain.Server().Url("mjpg5?k=00112233445566778899aabbccddeeff&t=5f5e1000"), 5, kDemoWebcam)));
    ASSERT_EQ(Printable(kStartReply), Printable(NextReply(client, 20000)));
    ASSERT_TRUE(chain.Server().WaitForEvent(RtmpEvent::kPublish, from, 40000, nullptr, "mjpg5"))
        << "no publish; server log:\n" << chain.Server().Log();
    const std::string playUrl = chain.Server().Url("mjpg5");
    const StreamInfo info = ProbeStream(playUrl);
    ASSERT_EQ("", info.failure);
    EXPECT_EQ(1920, info.width);
    EXPECT_EQ(1080, info.height);
    RgbPicture seen;
    ASSERT_EQ("", ReadPicture(playUrl, seen, 1920, 1080));
    const double psnr = Psnr(seen, webcam);

    const double bridgeBefore = ProcessorMs("QvGraph.exe"), ffmpegBefore = ProcessorMs("ffmpeg.exe");
    const DWORD measureStart = ::GetTickCount();
    const ArrivalRate arrival = MeasureArrivalRate(playUrl, 10);
    const double wallMs = ::GetTickCount() - measureStart;
    const double bridgeMs = ProcessorMs("QvGraph.exe") - bridgeBefore;
    const double ffmpegMs = ProcessorMs("ffmpeg.exe") - ffmpegBefore;
    ASSERT_EQ("", arrival.failure);
    std::printf("level 5 from MJPG 1920x1080: PSNR %.2f dB against the webcam's picture, %.1f frames a second at the "
                "server (%d in %.1f s)\n",
                psnr, arrival.rate, arrival.frames, arrival.seconds);
    for (const auto& p : {std::make_pair("bridge", bridgeBefore < 0 ? -1.0 : bridgeMs),
                          std::make_pair("FFmpeg", ffmpegBefore < 0 ? -1.0 : ffmpegMs)}) {
        if (p.second < 0)
            std::printf("processor time of the %s: its /proc entry was not found\n", p.first);
        else
            std::printf("processor time of the %s over those %.1f s (Linux's count): %.0f ms, %.0f %% of a core\n",
                        p.first, wallMs / 1000, p.second, 100 * p.second / wallMs);
    }
    EXPECT_GE(psnr, 35.0) << "the stream does not show the webcam's own 1080p picture";
    // The rate is printed, not asserted: on a machine this busy it says more
    // about the other load than about this chain (30.5 and 28.6 a second
    // measured here when quiet, 10.6 with a load average of 9 on 2 cores).
    EXPECT_GT(arrival.frames, 0) << "no frames reached the server";

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

// A webcam gone for a moment (sleep, a USB reset): the bridge loses it,
// its relaunch finds no camera of that name, and that is retried with the
// reason shown, not taken for the client's mistake; once the webcam is back
// the preview delivers again without a new command.
TEST(BridgeChainTest, WebcamGoneForAMomentIsRetriedUntilItIsBack) {
    const std::wstring picturePath = ScratchDirectory(L"bridge-gone-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, MakeQuadrantPicture(640, 480)));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(chain.Start(picturePath, kDemoWebcamFormats, L" --lose-after 3"));
    StatusSession session;
    ASSERT_TRUE(session.Open()) << session.Problem();
    ASSERT_TRUE(session.Send(ToUtf8(L"preview videoDevice=\"" + std::wstring(kDemoWebcam) + L"\" audioDevice=\"" +
                                    kDemoMicrophone + L"\"")));
    ASSERT_TRUE(session.WaitForStatus("camera", {"delivering"}, 20000)) << LastSeen(session);
    // Gone from the system before the running bridge notices its loss.
    ASSERT_EQ("", chain.UnregisterWebcam());
    const DWORD gone = ::GetTickCount();
    StatusMessage notFound;
    for (;;) {
        ASSERT_TRUE(session.WaitForStatus("camera", {"retrying", "failed"}, 20000, &notFound)) << LastSeen(session);
        ASSERT_EQ("retrying", JsonField(notFound.json, "state")) << "a camera gone for a moment was given up\n"
                                                                   << LastSeen(session);
        if (JsonField(notFound.json, "reason").find("no camera") != std::string::npos) break;
    }
    const DWORD unregisteredMs = ::GetTickCount() - gone;
    if (unregisteredMs < 5000) ::Sleep(5000 - unregisteredMs);
    ASSERT_EQ("", chain.RegisterWebcam());
    const DWORD back = ::GetTickCount();
    StatusMessage delivering;
    ASSERT_TRUE(session.WaitForStatus("camera", {"delivering", "failed"}, 45000, &delivering)) << LastSeen(session, 12);
    EXPECT_EQ("delivering", JsonField(delivering.json, "state")) << LastSeen(session, 12);
    printf("delivering again %lu ms after the webcam came back\n", delivering.tick - back);
    for (const StatusMessage& m : session.Seen())
        EXPECT_NE("failed", JsonField(m.json, "state")) << m.json;
    session.Send("stop");
    session.WaitForStatus("camera", {"idle"}, 10000);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe"}, 5000)) << "the bridge outlived the stop";
}

}  // namespace

namespace {

// What a watching page gets of the previewed demo webcam: JPEGs at the asked
// rate and width showing the webcam's picture, and the stand-by picture
// once the preview has stopped.
TEST(BridgeChainTest, WatchingSessionSeesThePreviewedWebcam) {
    ScopedComApartment apartment(COINIT_MULTITHREADED);
    const RgbPicture webcam = MakeQuadrantPicture(640, 480);
    const std::wstring picturePath = ScratchDirectory(L"bridge-picture-") + L"webcam.bmp";
    ASSERT_TRUE(WriteBmp(picturePath, webcam));
    PublishChain chain;
    QV_REQUIRE_COMPONENT(chain.Start(picturePath));
    StatusSession session;
    ASSERT_TRUE(session.Open()) << session.Problem();
    ASSERT_TRUE(session.Send(ToUtf8(L"preview videoDevice=\"" + std::wstring(kDemoWebcam) + L"\" audioDevice=\"" +
                                    kDemoMicrophone + L"\"")));
    ASSERT_TRUE(session.WaitForStatus("camera", {"delivering"}, 20000)) << LastSeen(session);
    ASSERT_TRUE(session.Send("picture rate=\"10\" width=\"640\""));

    std::string jpeg;
    ASSERT_TRUE(session.NextBinary(jpeg, 5000)) << "no picture within 5 s";
    int pictures = 0;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 10000)
        if (session.NextBinary(jpeg, 10000 - (::GetTickCount() - start))) ++pictures;
    std::printf("pictures of the previewed webcam: %d in 10 s\n", pictures);
    EXPECT_GE(pictures, 90);
    UINT width = 0, height = 0;
    std::vector<BYTE> decoded;
    ASSERT_TRUE(DecodeJpeg(jpeg, width, height, decoded));
    EXPECT_EQ(640u, width);
    EXPECT_EQ(480u, height);
    const double psnr = PsnrOfBytes(decoded, webcam.bgr);
    std::printf("picture of the previewed webcam: PSNR %.2f dB\n", psnr);
    EXPECT_GE(psnr, 30.0) << "the pictures do not show the webcam";

    ASSERT_TRUE(session.Send("stop"));
    ASSERT_TRUE(session.WaitForStatus("camera", {"idle"}, 10000)) << LastSeen(session);
    bool standby = false;
    const DWORD stopped = ::GetTickCount();
    while (!standby && ::GetTickCount() - stopped < 10000 && session.NextBinary(jpeg, 3000))
        for (const StatusMessage& seen : session.Seen())
            standby = standby || seen.json == "{\"type\":\"picture\",\"source\":\"standby\"}";
    EXPECT_TRUE(standby) << "no stand-by picture after the preview stopped\n" << LastSeen(session);
    EXPECT_TRUE(WaitUntilGone({L"QvGraph.exe"}, 5000)) << "the bridge outlived the stop";
}

}  // namespace
