// The parts of the publisher's status that need no process: FFmpeg's and
// the bridge's lines, the back-off's pauses, the board's rules and the JSON
// of each state.
#include "common/child_exit_codes.h"
#include "daemon/publisher/exit_reasons.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/output_lines.h"
#include "daemon/publisher/restart_backoff.h"
#include "daemon/publisher/status_board.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

TEST(StatusParts, ConsoleLines) {
    const struct {
        const char* line;
        bool progress;
        long long frames;
        double fps, kbps;
        long long dropped;
        bool error;
    } cases[] = {
        {"frame=  120 fps= 10 q=28.0 size=     256kB time=00:00:12.00 bitrate= 170.5kbits/s dup=0 drop=3 speed=1x",
         true, 120, 10, 170.5, 3, false},
        {"frame=    1 fps=0.0 q=0.0 size=       0kB time=00:00:00.00 bitrate=N/A speed=   0x", true, 1, 0, 0, 0, false},
        {"frame=    0 fps=0.0 q=0.0 size=       0kB time=00:00:00.00 bitrate=N/A speed=   0x", true, 0, 0, 0, 0, false},
        {"[tcp @ 0000021c] Connection to tcp://127.0.0.1:1 failed: Connection refused", false, 0, 0, 0, 0, true},
        {"rtmp://127.0.0.1:1/kavo/room1: I/O error", false, 0, 0, 0, 0, true},
        {"QvShow: refused, nothing started: the target is not rtmp:// or rtmps://", false, 0, 0, 0, 0, true},
        // FFmpeg's trailer after the error that mattered.
        {"Conversion failed!", false, 0, 0, 0, 0, false},
        {"Stream mapping:", false, 0, 0, 0, 0, false},
        {"  configuration: --enable-gpl --disable-w32threads", false, 0, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ProgressLine progress;
        EXPECT_EQ(c.progress, ParseProgressLine(c.line, progress));
        EXPECT_EQ(c.frames, progress.frames);
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
        ULONGLONG healthyMs;
        DWORD delayMs;
        int attempt;
    } losses[] = {{500, 1000, 1},   {500, 2000, 2},   {500, 4000, 3},  {500, 8000, 4},  {500, 16000, 5},
                  {500, 30000, 6},  {500, 30000, 7},  {30000, 1000, 1}, {29999, 2000, 2}};
    for (const auto& l : losses) {
        EXPECT_EQ(l.delayMs, backoff.OnLoss(l.healthyMs)) << "attempt " << l.attempt;
        EXPECT_EQ(l.attempt, backoff.Attempt());
    }
    backoff.Reset();
    EXPECT_EQ(1000u, backoff.OnLoss(0));
}

ProgressLine Frames(long long frames, double kbps = 300) {
    ProgressLine line;
    line.frames = frames;
    line.fps = 10;
    line.kbps = kbps;
    return line;
}

// One launch of the encoder through the board, event by event: live needs a
// frame, and the reason is the run's first error line.
TEST(StatusParts, BoardRulesOfOneLaunch) {
    enum Event { kProgress, kError, kRetry, kFail };
    const struct {
        const char* name;
        std::vector<std::pair<Event, std::string>> events;  // progress: the frame count
        const char* state;
        const char* reason;
        bool wentLive;
    } cases[] = {
        {"progress without a frame", {{kProgress, "0"}, {kProgress, "0"}}, "starting", "", false},
        {"first frame", {{kProgress, "0"}, {kProgress, "1"}}, "live", "", true},
        {"first error line wins over the trailer and later lines",
         {{kError, "rtmp://127.0.0.1:1/kavo/room1: Connection refused"}, {kError, "Error opening output file"},
          {kRetry, "FFmpeg ended with code 1"}},
         "retrying", "rtmp://127.0.0.1:1/kavo/room1: Connection refused", false},
        {"error line after the exit", {{kRetry, "FFmpeg ended with code 1"}, {kError, "I/O error"}}, "retrying",
         "I/O error", false},
        {"the daemon's words without an error line", {{kFail, "no ffmpeg.exe beside QvShow.exe"}}, "failed",
         "no ffmpeg.exe beside QvShow.exe", false},
        {"live, then lost", {{kProgress, "3"}, {kError, "Broken pipe"}, {kRetry, "FFmpeg ended with code 1"}},
         "retrying", "Broken pipe", true},
        {"lines before the frames moved were survived",
         {{kError, "QvShow: h264_nvenc is listed but failed its probe (exit code 1)"}, {kProgress, "1"},
          {kRetry, "no progress: FFmpeg reached nothing"}},
         "retrying", "no progress: FFmpeg reached nothing", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CStatusBoard board;
        const unsigned generation = board.Starting(StatusKind::Publish, 1, std::string(), 0);
        bool wentLive = false;
        for (const auto& e : c.events) {
            switch (e.first) {
            case kProgress: board.Progress(generation, Frames(atoll(e.second.c_str()))); break;
            case kError: board.ErrorLine(StatusKind::Publish, generation, e.second); break;
            case kRetry: board.Retrying(StatusKind::Publish, e.second, 1000, 1); break;
            case kFail: board.Failed(StatusKind::Publish, e.second, 3); break;
            }
            if (e.first == kProgress) wentLive = board.Read(StatusKind::Publish).state == StatusState::Running;
        }
        const std::string json = board.Json(StatusKind::Publish);
        EXPECT_NE(std::string::npos, json.find(std::string("\"state\":\"") + c.state + "\"")) << json;
        EXPECT_EQ(c.reason, board.Read(StatusKind::Publish).reason);
        EXPECT_EQ(c.wentLive, wentLive);
    }
}

TEST(StatusParts, LiveWithoutGrowingFramesStallsAndComesBack) {
    CStatusBoard board;
    const unsigned generation = board.Starting(StatusKind::Publish, 1, std::string(), 0);
    board.Progress(generation, Frames(10));
    board.CheckStall();
    ASSERT_EQ(StatusState::Running, board.Read(StatusKind::Publish).state);
    // FFmpeg blocked on a server that stopped reading: no line, or lines
    // that repeat the count.
    ::Sleep(1500);
    board.Progress(generation, Frames(10));
    ::Sleep(static_cast<DWORD>(kStallAfterMs) - 1000);
    board.CheckStall();
    EXPECT_EQ(StatusState::Stalled, board.Read(StatusKind::Publish).state) << board.Json(StatusKind::Publish);
    EXPECT_NE(std::string::npos, board.Json(StatusKind::Publish).find("\"kbps\":0.0")) << board.Json(StatusKind::Publish);
    const ULONGLONG healthy = board.HealthyFor(StatusKind::Publish);
    EXPECT_LT(healthy, 1000u) << "time without frames counted as healthy";
    board.Progress(generation, Frames(11));
    EXPECT_EQ(StatusState::Running, board.Read(StatusKind::Publish).state);
    // The record of a later launch is not stalled by the earlier one's silence.
    board.Starting(StatusKind::Publish, 1, std::string(), 1);
    board.CheckStall();
    EXPECT_EQ(StatusState::Starting, board.Read(StatusKind::Publish).state);
}

TEST(StatusParts, ExitCodesAndStartErrors) {
    const struct {
        const wchar_t* image;
        DWORD code;
        bool setup;
        const char* reason;
    } exits[] = {
        {L"QvShow.exe", kExitNoFfmpeg, true, "no ffmpeg.exe beside QvShow.exe"},
        {L"QvShow.exe", kExitNoProgress, false, "no progress: FFmpeg reached nothing"},
        {L"QvShow.exe", 1, false, "FFmpeg ended with code 1"},
        {L"QvShow.exe", kExitKilledByDaemon, false, "QvShow.exe was ended"},
        {L"QvGraph.exe", kExitCameraNotFound, true, "no camera of that name"},
        {L"QvGraph.exe", kExitCameraStalled, false, "camera stalled"},
        // The daemon's kill code is no child's: not the bridge's "own camera".
        {L"QvGraph.exe", kExitKilledByDaemon, false, "QvGraph.exe was ended"},
    };
    for (const auto& e : exits) {
        SCOPED_TRACE(e.reason);
        EXPECT_EQ(e.setup, IsSetupFailure(e.image, e.code));
        EXPECT_EQ(e.reason, ExitReason(e.image, e.code));
    }
    const struct {
        DWORD error;
        bool missing;
        const char* reason;
    } starts[] = {
        {ERROR_FILE_NOT_FOUND, true, "QvGraph.exe not found beside QvPushServer.exe"},
        {ERROR_BAD_EXE_FORMAT, true, "QvGraph.exe is not a valid program (bad image)"},
        {ERROR_INTERNAL_ERROR, false, "QvGraph.exe could not be started (error 1359)"},
        {ERROR_NOT_ENOUGH_MEMORY, false, "QvGraph.exe could not be started (error 8)"},
    };
    for (const auto& s : starts) {
        EXPECT_EQ(s.missing, IsMissingProgram(s.error)) << s.error;
        EXPECT_EQ(s.reason, StartFailureReason(kBridgeImageName, s.error));
    }
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
    StatusRecord stalled = live;
    stalled.state = StatusState::Stalled;
    stalled.progress.fps = 0;
    stalled.progress.kbps = 0;
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
        {StatusKind::Publish, stalled,
         R"({"type":"publish","state":"stalled","fps":0.0,"kbps":0.0,"dropped":2,"uptime":7,"level":1})"},
        {StatusKind::Publish, retrying,
         R"({"type":"publish","state":"retrying","reason":"Connection \"refused\"\\","retryIn":3,"attempt":3})"},
        {StatusKind::Publish, failed, R"({"type":"publish","state":"failed","reason":"no ffmpeg.exe","code":3})"},
        {StatusKind::Camera, camera,
         "{\"type\":\"camera\",\"state\":\"delivering\",\"device\":\"演示摄像头\",\"format\":\"YUY2 640x480 30 fps\"}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.json, StatusJson(c.kind, c.record, 8000));
}

}  // namespace
