// The parts of the publisher's status that need no process: FFmpeg's and
// the bridge's lines, the back-off's pauses and the JSON of each state.
#include "daemon/publisher/output_lines.h"
#include "daemon/publisher/restart_backoff.h"
#include "daemon/publisher/status_board.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusParts, ConsoleLines) {
    const struct {
        const char* line;
        bool progress;
        double fps, kbps;
        long long dropped;
        bool error;
    } cases[] = {
        {"frame=  120 fps= 10 q=28.0 size=     256kB time=00:00:12.00 bitrate= 170.5kbits/s dup=0 drop=3 speed=1x",
         true, 10, 170.5, 3, false},
        {"frame=    1 fps=0.0 q=0.0 size=       0kB time=00:00:00.00 bitrate=N/A speed=   0x", true, 0, 0, 0, false},
        {"[tcp @ 0000021c] Connection to tcp://127.0.0.1:1 failed: Connection refused", false, 0, 0, 0, true},
        {"rtmp://127.0.0.1:1/kavo/room1: I/O error", false, 0, 0, 0, true},
        {"QvShow: refused, nothing started: the target is not rtmp:// or rtmps://", false, 0, 0, 0, true},
        {"Stream mapping:", false, 0, 0, 0, false},
        {"  configuration: --enable-gpl --disable-w32threads", false, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ProgressLine progress;
        EXPECT_EQ(c.progress, ParseProgressLine(c.line, progress));
        EXPECT_DOUBLE_EQ(c.fps, progress.fps);
        EXPECT_DOUBLE_EQ(c.kbps, progress.kbps);
        EXPECT_EQ(c.dropped, progress.dropped);
        EXPECT_EQ(c.error, IsErrorLine(c.line));
    }
    std::string format;
    EXPECT_TRUE(ParseDeliveringLine("QvGraph: delivering \"Cam (USB)\" (YUY2 1280x720 at 30 fps) into \"Kavo\"", format));
    EXPECT_EQ("YUY2 1280x720 30 fps", format);
    EXPECT_TRUE(ParseDeliveringLine("QvGraph: delivering NV12 640x480 15 fps", format));
    EXPECT_EQ("NV12 640x480 15 fps", format);
    EXPECT_FALSE(ParseDeliveringLine("QvGraph: camera \"Cam\", microphone \"Mic\"", format));
    std::string encoder;
    EXPECT_TRUE(ParseEncoderLine("QvShow: video encoder h264_qsv", encoder));
    EXPECT_EQ("h264_qsv", encoder);
    EXPECT_FALSE(ParseEncoderLine("QvShow: no progress for 15 s", encoder));
}

TEST(StatusParts, LinesEndAtCarriageReturnOrLineFeedAcrossChunks) {
    COutputLines lines;
    std::vector<std::string> seen;
    auto take = [&](const std::string& bytes) {
        lines.Take(bytes.data(), bytes.size(), [&](const std::string& line) { seen.push_back(line); });
    };
    take("frame=  1 fps=1\rframe=  2 f");
    take("ps=2\r\nerr");
    take("or\n\n");
    EXPECT_EQ((std::vector<std::string>{"frame=  1 fps=1", "frame=  2 fps=2", "error"}), seen);
}

TEST(StatusParts, BackoffGrowsToThirtySecondsAndStartsAgainAfterAHealthyRun) {
    CRestartBackoff backoff;
    const struct {
        ULONGLONG ranMs;
        DWORD delayMs;
        int attempt;
    } losses[] = {{500, 1000, 1},   {500, 2000, 2},   {500, 4000, 3},  {500, 8000, 4},  {500, 16000, 5},
                  {500, 30000, 6},  {500, 30000, 7},  {30000, 1000, 1}, {29999, 2000, 2}};
    for (const auto& l : losses) {
        EXPECT_EQ(l.delayMs, backoff.OnLoss(l.ranMs)) << "attempt " << l.attempt;
        EXPECT_EQ(l.attempt, backoff.Attempt());
    }
    backoff.Reset();
    EXPECT_EQ(1000u, backoff.OnLoss(0));
}

TEST(StatusParts, JsonOfEachState) {
    StatusRecord live;
    live.state = StatusState::Running;
    live.progress.fps = 10;
    live.progress.kbps = 301.25;
    live.progress.dropped = 2;
    live.runningSince = 1000;
    live.level = 1;
    StatusRecord liveHd = live;
    liveHd.level = 4;
    liveHd.encoder = "libx264";
    StatusRecord retrying;
    retrying.state = StatusState::Retrying;
    retrying.reason = "Connection \"refused\"\\";
    retrying.retryAt = 10500;
    retrying.attempt = 3;
    StatusRecord failed;
    failed.state = StatusState::Failed;
    failed.reason = "no ffmpeg.exe";
    failed.code = 3;
    StatusRecord camera;
    camera.state = StatusState::Running;
    camera.device = "演示摄像头";
    camera.format = "YUY2 640x480 30 fps";
    const struct {
        StatusKind kind;
        StatusRecord record;
        const char* json;
    } cases[] = {
        {StatusKind::Publish, StatusRecord(), R"({"type":"publish","state":"idle"})"},
        {StatusKind::Publish, live,
         R"({"type":"publish","state":"live","fps":10.0,"kbps":301.2,"dropped":2,"uptime":7,"level":1})"},
        {StatusKind::Publish, liveHd,
         R"({"type":"publish","state":"live","fps":10.0,"kbps":301.2,"dropped":2,"uptime":7,"level":4,"encoder":"libx264"})"},
        {StatusKind::Publish, retrying,
         R"({"type":"publish","state":"retrying","reason":"Connection \"refused\"\\","retryIn":3,"attempt":3})"},
        {StatusKind::Publish, failed, R"({"type":"publish","state":"failed","reason":"no ffmpeg.exe","code":3})"},
        {StatusKind::Camera, camera,
         "{\"type\":\"camera\",\"state\":\"delivering\",\"device\":\"演示摄像头\",\"format\":\"YUY2 640x480 30 fps\"}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.json, StatusJson(c.kind, c.record, 8000));
}

}  // namespace
