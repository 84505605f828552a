// The RTMP fixture and the read-back helpers against a publisher they do
// not depend on: Debian's ffmpeg publishing a solid colour and a tone.
#include "tests/support/rtmp/component_check.h"
#include "tests/support/rtmp/linux_command.h"
#include "tests/support/rtmp/rtmp_server.h"
#include "tests/support/rtmp/stream_readback.h"

#include <gtest/gtest.h>

namespace {

TEST(RtmpFixture, LinuxCommandGivesExitCodeAndOutput) {
    const struct {
        const char* script;
        int exitCode;
        const char* output;
    } cases[] = {
        {"echo one; echo two >&2", 0, "one\ntwo\n"},
        {"printf 'a b'; exit 3", 3, "a b"},
    };
    for (const auto& c : cases) {
        LinuxCommandResult run = RunLinuxCommand(c.script, 20000);
        EXPECT_TRUE(run.finished) << c.script << ": " << run.failure;
        EXPECT_EQ(c.exitCode, run.exitCode) << c.script;
        EXPECT_EQ(c.output, run.output) << c.script;
    }
    LinuxCommandResult slow = RunLinuxCommand("sleep 30", 1000);
    EXPECT_EQ(124, slow.exitCode) << "timeout's own code for a command it ended";
}

TEST(RtmpFixture, PublishIsSeenAndReadBack) {
    RtmpServer server;
    QV_REQUIRE_COMPONENT(server.Start());
    const std::string url = server.Url("fixture?k=abc&t=5f00");
    // Ended by the command's destructor, also when an assertion returns early.
    LinuxCommand publisher;
    ASSERT_EQ("", publisher.Start("exec ffmpeg -nostdin -v error -re -f lavfi -i color=c=0x28C85A:s=320x240:r=10 "
                                  "-f lavfi -i sine=f=660:sample_rate=44100 -t 60 -c:v libx264 -g 10 "
                                  "-pix_fmt yuv420p -c:a aac -f flv " + ShellQuote(url),
                                  90000));
    RtmpEvent publish;
    ASSERT_TRUE(server.WaitForEvent(RtmpEvent::kPublish, 0, 15000, &publish)) << server.Log();
    {
        EXPECT_EQ("fixture", publish.name);
        EXPECT_EQ("k=abc&t=5f00", publish.args);
        const std::string playUrl = server.Url("fixture");
        StreamInfo info = ProbeStream(playUrl);
        EXPECT_EQ("", info.failure);
        EXPECT_EQ("h264", info.videoCodec);
        EXPECT_EQ(320, info.width);
        EXPECT_EQ(240, info.height);
        EXPECT_NEAR(10.0, info.frameRate, 0.01);
        EXPECT_EQ("aac", info.audioCodec);
        EXPECT_EQ(44100, info.sampleRate);

        DecodedVideo video = DecodeVideoFrames(playUrl, 320, 240, 3);
        ASSERT_EQ("", video.failure);
        const Rgb colour = CentreColour(video.frames.back(), 320, 240);
        EXPECT_TRUE(NearColour(Rgb{0x28, 0xC8, 0x5A}, colour, 12)) << ColourText(colour);

        DecodedAudio audio = DecodeAudio(playUrl, 1.5);
        ASSERT_EQ("", audio.failure);
        EXPECT_NEAR(660.0, StrongestFrequency(audio.samples, audio.sampleRate), 5.0);
    }
    publisher.Stop();
    EXPECT_TRUE(server.WaitForEvent(RtmpEvent::kDisconnect, 0, 10000)) << server.Log();
}

}  // namespace
