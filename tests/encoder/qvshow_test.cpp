// QvShow.exe driven with the daemon's own encoder command lines, with a
// stand-in FFmpeg beside it that lists its encoders and records how it was
// started.
#include "common/unique_handle.h"
#include "daemon/publisher/encoder_presets.h"
#include "tests/stand_ins/stand_in_record.h"
#include "tests/support/child_process.h"
#include "tests/support/directory_tree.h"
#include "tests/support/rtmp/component_check.h"
#include "tests/tools/demo_devices/demo_device_graph.h"

#include <winsock2.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t kCamera[] = L"Kavo直播插件";
const wchar_t kUrl[] = L"rtmp://127.0.0.1:1935/kavo/room1?k=0123abcd&t=5f5e1000";

std::vector<std::wstring> Split(const std::wstring& line) {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> words(argv, argv + (argv ? count : 0));
    ::LocalFree(argv);
    return words;
}

// A directory with a space and Chinese characters in its name, which the
// daemon writes unquoted in front of the arguments.
class EncoderSandbox {
public:
    EncoderSandbox() {
        static int count = 0;
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp) + L"qv 编码 " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++count) + L"\\";
        RemoveTree(m_dir);
        m_ready = ::CreateDirectoryW(m_dir.c_str(), nullptr) &&
                  ::CopyFileW((TestBinDir() + L"QvShow.exe").c_str(), (m_dir + L"QvShow.exe").c_str(), FALSE);
        // QvShow.exe remembers the HD levels' encoder choice in the user's
        // local application data; each sandbox has one of its own, so that
        // no choice of an earlier run or case is found.
        m_ready = m_ready && ::CreateDirectoryW((m_dir + L"appdata").c_str(), nullptr);
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", (m_dir + L"appdata").c_str());
    }
    ~EncoderSandbox() { RemoveTree(m_dir); }

    bool Ready() const { return m_ready; }
    std::wstring Ffmpeg() const { return m_dir + L"ffmpeg.exe"; }
    bool AddStandInFfmpeg() {
        return ::CopyFileW((TestBinDir() + L"stand_in_ffmpeg.exe").c_str(), Ffmpeg().c_str(), FALSE) != FALSE;
    }
    void Mark(const wchar_t* suffix, const std::string& content = std::string()) {
        std::ofstream((Ffmpeg() + suffix).c_str(), std::ios::binary) << content;
    }
    // The daemon's command line: the path unquoted, then its argument text.
    std::wstring CommandLine(int level, const std::wstring& audio, const std::wstring& url = kUrl) const {
        return m_dir + L"QvShow.exe" + BuildEncoderArguments(level, kCamera, audio, url);
    }
    std::vector<StandInStart> Starts() const { return ReadStandInStarts(Ffmpeg() + L".record"); }
    std::wstring EncoderMemory() const { return m_dir + L"appdata\\QvPush\\encoder.txt"; }
    // The arguments of FFmpeg's publish start (the one after the listing).
    std::vector<std::wstring> PublishArguments() const {
        for (const auto& start : Starts()) {
            std::vector<std::wstring> words = Split(start.m_commandLine);
            if (words.size() > 2 && words[1] != L"-hide_banner") return {words.begin() + 1, words.end()};
        }
        return {};
    }

private:
    std::wstring m_dir;
    bool m_ready = false;
};

std::vector<std::wstring> ExpectedArguments(int level, const std::wstring& audio, bool hasLibaacplus,
                                            const std::wstring& url = kUrl) {
    const wchar_t* rate[] = {L"10", L"8", L"7", L"7"};
    const wchar_t* size[] = {L"640*480", L"480*360", L"320*240", L"480*360"};
    const wchar_t* bitrate[] = {L"300k", L"100k", L"40k", L"30k"};
    const wchar_t* x264[] = {L"keyint=10:keyint_min=6", L"keyint=10:keyint_min=6", L"keyint=14:keyint_min=7",
                             L"keyint=20:keyint_min=20"};
    std::vector<std::wstring> a = {L"-nostdin", L"-f",  L"dshow",      L"-rtbufsize", L"64M",   L"-i",
                                   std::wstring(L"video=") + kCamera + L":audio=" + audio,
                                   L"-r:v",     rate[level], L"-s:v", size[level], L"-b:v", bitrate[level],
                                   L"-c:v",     L"libx264"};
    if (level != 2) a.insert(a.end(), {L"-tune", L"zerolatency"});
    a.insert(a.end(), {L"-x264-params", x264[level], L"-pix_fmt", L"yuv420p", L"-c:a",
                       hasLibaacplus ? L"libaacplus" : L"aac", L"-ar", L"44100", L"-ab", level == 2 ? L"16k" : L"32k",
                       L"-f", L"flv", L"-rtmp_live", L"live", L"-rw_timeout", L"20000000",
                       // A stream of a few dozen kbit/s gets the 64 KiB floor.
                       L"-send_buffer_size", L"65536", url});
    return a;
}

std::string Show(const std::vector<std::wstring>& words) {
    std::string text;
    for (const auto& w : words) text += "[" + ToUtf8(w) + "] ";
    return text;
}

TEST(QvShow, EveryFormWithAndWithoutLibaacplus) {
    for (bool hasLibaacplus : {false, true}) {
        for (int level = 0; level < 4; ++level) {
            EncoderSandbox sandbox;
            ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
            if (hasLibaacplus) sandbox.Mark(L".libaacplus");
            sandbox.Mark(L".exit", "0");
            ProgramResult run = RunProgram(sandbox.CommandLine(level, L"麦克风 (USB Audio)"), 20000);
            ASSERT_TRUE(run.started && !run.timedOut) << "level " << level;
            EXPECT_EQ(0u, run.exitCode) << run.output;
            EXPECT_EQ(2u, sandbox.Starts().size()) << "one encoder listing and one publish";
            EXPECT_EQ(Show(ExpectedArguments(level, L"麦克风 (USB Audio)", hasLibaacplus)),
                      Show(sandbox.PublishArguments()))
                << "level " << level << (hasLibaacplus ? " with" : " without") << " libaacplus";
        }
    }
}

// The HD levels' FFmpeg arguments with `encoder` and its options in
// libx264's place.
std::vector<std::wstring> ExpectedHdArguments(int level, const std::wstring& encoder) {
    const std::wstring size = level == 4 ? L"1280x720" : L"1920x1080";
    const wchar_t* bitrate = level == 4 ? L"2500k" : L"4500k";
    std::vector<std::wstring> a = {L"-nostdin", L"-f", L"dshow", L"-rtbufsize", L"64M", L"-video_size", size,
                                   L"-pixel_format", L"nv12", L"-framerate", L"30", L"-i",
                                   std::wstring(L"video=") + kCamera + L":audio=Mic", L"-r:v", L"30", L"-s:v", size,
                                   L"-b:v", bitrate, L"-maxrate", bitrate, L"-bufsize",
                                   level == 4 ? L"5000k" : L"9000k", L"-c:v", encoder};
    // Each encoder's low-latency options, then its constant rate and
    // keyframes only at the GOP's 2 s.
    if (encoder == L"h264_nvenc")
        a.insert(a.end(), {L"-zerolatency", L"1", L"-rc", L"cbr", L"-no-scenecut", L"1", L"-forced-idr", L"1"});
    if (encoder == L"h264_qsv") a.insert(a.end(), {L"-async_depth", L"1", L"-adaptive_i", L"0", L"-forced_idr", L"1"});
    if (encoder == L"h264_amf") a.insert(a.end(), {L"-usage", L"ultralowlatency", L"-rc", L"cbr"});
    if (encoder == L"libx264")
        a.insert(a.end(), {L"-sc_threshold", L"0", L"-preset", L"veryfast", L"-tune", L"zerolatency"});
    a.insert(a.end(), {L"-g", L"60", L"-keyint_min", L"60", L"-force_key_frames", L"expr:gte(t,n_forced*2)",
                       L"-pix_fmt", encoder == L"libx264" ? L"yuv420p" : L"nv12", L"-colorspace", L"smpte170m",
                       L"-color_primaries", L"smpte170m", L"-color_trc", L"smpte170m", L"-color_range", L"tv",
                       L"-c:a", L"aac", L"-ar", L"48000", L"-ab", L"128k", L"-f", L"flv", L"-rtmp_live", L"live",
                       L"-rw_timeout", L"20000000",
                       // Half a second of video and audio: (2500 + 128) or (4500 + 128) kbit/s.
                       L"-send_buffer_size", level == 4 ? L"164250" : L"289250", kUrl});
    return a;
}

TEST(QvShow, HdLevelsTakeTheFirstHardwareEncoderThatPassesItsProbe) {
    const struct {
        const char* hardware;  // what the stand-in lists, and how each probe ends
        const wchar_t* chosen;
        std::vector<std::wstring> probed;  // at least these (the probes run at once)
    } cases[] = {
        {"", L"libx264", {}},
        {"h264_nvenc pass", L"h264_nvenc", {L"h264_nvenc"}},
        {"h264_nvenc fail h264_qsv pass", L"h264_qsv", {L"h264_nvenc", L"h264_qsv"}},
        {"h264_nvenc fail h264_qsv fail h264_amf pass", L"h264_amf", {L"h264_nvenc", L"h264_qsv", L"h264_amf"}},
        {"h264_amf pass h264_qsv pass", L"h264_qsv", {L"h264_qsv"}},
        {"h264_amf fail h264_nvenc fail", L"libx264", {L"h264_nvenc", L"h264_amf"}},
    };
    int index = 0;
    for (const auto& c : cases) {
        const int level = 4 + index++ % 2;
        EncoderSandbox sandbox;
        ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
        sandbox.Mark(L".hardware", c.hardware);
        sandbox.Mark(L".exit", "0");
        ProgramResult run = RunProgram(sandbox.CommandLine(level, L"Mic"), 30000);
        ASSERT_TRUE(run.started && !run.timedOut) << c.hardware;
        EXPECT_EQ(0u, run.exitCode) << c.hardware << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find("QvShow: video encoder " + ToUtf8(c.chosen) + "\r\n"))
            << c.hardware << ": " << run.output;
        std::vector<std::wstring> probed;
        for (const auto& start : sandbox.Starts()) {
            std::vector<std::wstring> words = Split(start.m_commandLine);
            if (std::find(words.begin(), words.end(), L"lavfi") == words.end()) continue;
            auto encoder = std::find(words.begin(), words.end(), L"-c:v");
            if (encoder != words.end() && encoder + 1 != words.end()) probed.push_back(encoder[1]);
        }
        for (const std::wstring& name : c.probed)
            EXPECT_NE(probed.end(), std::find(probed.begin(), probed.end(), name)) << ToUtf8(name) << " not probed";
        for (const std::wstring& name : probed)
            EXPECT_NE(std::string::npos, std::string(c.hardware).find(ToUtf8(name))) << ToUtf8(name) << " not listed";
        EXPECT_EQ(Show(ExpectedHdArguments(level, c.chosen)), Show(sandbox.PublishArguments()))
            << c.hardware << " at level " << level;
    }
}

// The encoders FFmpeg was started with, in order: "list" for the encoder
// listing, "probe:NAME" for a probe, "publish:NAME" for a publish.
std::vector<std::string> FfmpegRuns(const EncoderSandbox& sandbox) {
    std::vector<std::string> runs;
    for (const auto& start : sandbox.Starts()) {
        std::vector<std::wstring> words = Split(start.m_commandLine);
        auto encoder = std::find(words.begin(), words.end(), L"-c:v");
        const std::string name = encoder != words.end() && encoder + 1 != words.end() ? ToUtf8(encoder[1]) : "";
        if (std::find(words.begin(), words.end(), L"-encoders") != words.end()) runs.push_back("list");
        else if (std::find(words.begin(), words.end(), L"lavfi") != words.end()) runs.push_back("probe:" + name);
        else runs.push_back("publish:" + name);
    }
    return runs;
}

std::string Show(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& w : words) text += w + " ";
    return text;
}

// Starts at an HD level one after another with one FFmpeg: the first
// probes, later ones take the remembered choice without listing or probing
// anything, until that encoder fails while publishing (then it is dropped
// and never probed again) or the FFmpeg file changes (then all is probed
// afresh).
TEST(QvShow, HdEncoderChoiceIsRememberedForThisFfmpeg) {
    const struct {
        const char* what;
        const char* hardware;
        const char* exitCode;  // of a publish that does not fail by itself
        bool changeFfmpeg;     // its file time changes after the first start
        std::vector<std::vector<std::string>> runs;  // FFmpeg's starts for each QvShow.exe start
        std::vector<const char*> says;               // a line of each start
        // What the stand-in lists from the second start on (empty: as
        // before); the first start then probes one encoder alone, so that
        // no probe is left running for QvShow.exe's job to end.
        const char* hardwareLater = "";
    } cases[] = {
        {"a hardware encoder", "h264_nvenc pass", "0", false,
         {{"list", "probe:h264_nvenc", "publish:h264_nvenc"}, {"publish:h264_nvenc"}, {"publish:h264_nvenc"}},
         {"QvShow: video encoder h264_nvenc\r\n", "QvShow: video encoder h264_nvenc (remembered for this FFmpeg)\r\n",
          "QvShow: video encoder h264_nvenc (remembered for this FFmpeg)\r\n"}},
        {"libx264, no hardware encoder listed", "", "0", false,
         {{"list", "publish:libx264"}, {"publish:libx264"}},
         {"QvShow: video encoder libx264\r\n", "QvShow: video encoder libx264 (remembered for this FFmpeg)\r\n"}},
        {"a hardware encoder that fails while publishing", "h264_nvenc publishfail", "0", false,
         {{"list", "probe:h264_nvenc", "publish:h264_nvenc"}, {"list", "publish:libx264"}, {"publish:libx264"}},
         {"QvShow: h264_nvenc failed while publishing; the next start goes without it\r\n",
          "QvShow: video encoder libx264\r\n", "QvShow: video encoder libx264 (remembered for this FFmpeg)\r\n"}},
        {"the first of two fails while publishing", "h264_nvenc publishfail", "0", false,
         {{"list", "probe:h264_nvenc", "publish:h264_nvenc"},
          {"list", "probe:h264_qsv", "publish:h264_qsv"}, {"publish:h264_qsv"}},
         {"QvShow: h264_nvenc failed while publishing; the next start goes without it\r\n",
          "QvShow: video encoder h264_qsv\r\n", "QvShow: video encoder h264_qsv (remembered for this FFmpeg)\r\n"},
         "h264_nvenc publishfail h264_qsv pass"},
        {"a publish that fails without naming the encoder", "h264_nvenc pass", "1", false,
         {{"list", "probe:h264_nvenc", "publish:h264_nvenc"}, {"publish:h264_nvenc"}},
         {"QvShow: video encoder h264_nvenc\r\n", "QvShow: video encoder h264_nvenc (remembered for this FFmpeg)\r\n"}},
        {"another FFmpeg file", "h264_nvenc pass", "0", true,
         {{"list", "probe:h264_nvenc", "publish:h264_nvenc"}, {"list", "probe:h264_nvenc", "publish:h264_nvenc"}},
         {"QvShow: video encoder h264_nvenc\r\n", "QvShow: video encoder h264_nvenc\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EncoderSandbox sandbox;
        ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
        sandbox.Mark(L".hardware", c.hardware);
        sandbox.Mark(L".exit", c.exitCode);
        size_t seen = 0;
        for (size_t start = 0; start < c.runs.size(); ++start) {
            const int level = 4 + static_cast<int>(start % 2);
            ProgramResult run = RunProgram(sandbox.CommandLine(level, L"Mic"), 30000);
            ASSERT_TRUE(run.started && !run.timedOut) << "start " << start + 1;
            EXPECT_NE(std::string::npos, run.output.find(c.says[start])) << "start " << start + 1 << ": " << run.output;
            const std::vector<std::string> all = FfmpegRuns(sandbox);
            const std::vector<std::string> runs(all.begin() + std::min(seen, all.size()), all.end());
            seen = all.size();
            if (start == 0 && *c.hardwareLater) sandbox.Mark(L".hardware", c.hardwareLater);
            EXPECT_EQ(Show(c.runs[start]), Show(runs)) << "start " << start + 1 << ": " << run.output;
            if (start == 0 && c.changeFfmpeg) {
                UniqueHandle file(::CreateFileW(sandbox.Ffmpeg().c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
                FILETIME now;
                ::GetSystemTimeAsFileTime(&now);
                ASSERT_TRUE(file.get() != INVALID_HANDLE_VALUE && ::SetFileTime(file.get(), nullptr, nullptr, &now));
            }
        }
        // What a remembered choice publishes with is what a probed one does.
        const std::string last = c.runs.back().back();
        const std::wstring encoder(last.begin() + last.find(':') + 1, last.end());
        std::vector<std::wstring> publish;
        const std::vector<StandInStart> starts = sandbox.Starts();
        publish = Split(starts.back().m_commandLine);
        publish.erase(publish.begin());
        EXPECT_EQ(Show(ExpectedHdArguments(4 + static_cast<int>((c.runs.size() - 1) % 2), encoder)), Show(publish));
    }
}

// The levels 0 to 3 neither read nor write the memory.
TEST(QvShow, SmallLevelsLeaveTheEncoderMemoryAlone) {
    EncoderSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
    sandbox.Mark(L".hardware", "h264_nvenc pass");
    sandbox.Mark(L".exit", "0");
    for (int level = 0; level < 4; ++level) {
        ProgramResult run = RunProgram(sandbox.CommandLine(level, L"Mic"), 20000);
        EXPECT_EQ(0u, run.exitCode) << run.output;
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(sandbox.EncoderMemory().c_str()));
    EXPECT_EQ(std::string::npos, Show(FfmpegRuns(sandbox)).find("probe")) << Show(FfmpegRuns(sandbox));
}

TEST(QvShow, ValuesReachFfmpegExactly) {
    const struct {
        const wchar_t* audio;
        const wchar_t* url;
    } cases[] = {
        {L"Mic \"A\" 1", kUrl},
        {L"x\" -f flv -y out.flv \"", kUrl},
        {L"dir\\", kUrl},
        {L"a\\\\\"b", kUrl},
        {L"", kUrl},
        {L"麦克风 阵列", L"rtmp://127.0.0.1/kavo/房间?k=\"1\"&t=2\\"},
        {L"Mic", L"rtmp://127.0.0.1/kavo/r live=1\" -y \"x"},
        {L"Mic", L"RTMPS://live.example/kavo/r"},
        {L"Mic", L"Rtmp://127.0.0.1/kavo/r"},
    };
    for (const auto& c : cases) {
        EncoderSandbox sandbox;
        ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
        sandbox.Mark(L".exit", "0");
        ProgramResult run = RunProgram(sandbox.CommandLine(0, c.audio, c.url), 20000);
        EXPECT_EQ(0u, run.exitCode) << ToUtf8(c.audio) << ": " << run.output;
        EXPECT_EQ(Show(ExpectedArguments(0, c.audio, false, c.url)), Show(sandbox.PublishArguments()))
            << "audio device [" << ToUtf8(c.audio) << "], URL [" << ToUtf8(c.url) << "], " << sandbox.Starts().size()
            << " FFmpeg starts recorded, QvShow.exe said: " << run.output;
    }
}

TEST(QvShow, FfmpegEndingByItselfEndsQvShowWithItsCode) {
    EncoderSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
    sandbox.Mark(L".exit", "37");
    ProgramResult run = RunProgram(sandbox.CommandLine(1, L"Mic"), 20000);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(37u, run.exitCode);
    // FFmpeg's console is QvShow.exe's, and its standard input gives nothing.
    EXPECT_NE(std::string::npos, run.output.find("stand-in ffmpeg: publishing\n")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("stand-in ffmpeg: stdin: nothing\n")) << run.output;
}

TEST(QvShow, TerminatedQvShowTakesFfmpegWithIt) {
    EncoderSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
    std::wstring line = sandbox.CommandLine(3, L"Mic");
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                                 &pi));
    UniqueHandle qvshow(pi.hProcess), thread(pi.hThread);
    DWORD ffmpegId = 0;
    for (int i = 0; i < 500 && !ffmpegId; ++i) {
        std::vector<StandInStart> starts = sandbox.Starts();
        if (starts.size() == 2) ffmpegId = starts[1].m_processId;
        else ::Sleep(20);
    }
    ASSERT_NE(0u, ffmpegId) << "FFmpeg's publish never started";
    UniqueHandle ffmpeg(::OpenProcess(SYNCHRONIZE, FALSE, ffmpegId));
    ASSERT_TRUE(ffmpeg) << "FFmpeg ended before QvShow.exe was terminated";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(qvshow.get(), 300)) << "QvShow.exe ended early";
    ASSERT_TRUE(::TerminateProcess(qvshow.get(), 4));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(ffmpeg.get(), 2000))
        << "FFmpeg outlived QvShow.exe";
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// FFmpeg that goes silent at once (never reaches the server), after 3 s of
// progress, or never: the first two are ended with their line and code 9,
// with every byte FFmpeg printed passed on first, in order; the third runs
// on past the limit. The three run at once, so the test takes one limit.
TEST(QvShow, WatchdogEndsFfmpegWithoutProgress) {
    const struct {
        const char* what;
        int progressSeconds;  // -1: for good
        const char* line;     // empty: still running at the end
    } cases[] = {
        {"silent from the start", 0,
         "QvShow: no progress: FFmpeg had not reached the server 15 s after its start; it was ended\r\n"},
        {"silent after 3 s of progress", 3, "QvShow: no progress: FFmpeg reported no progress for 15 s; it was ended\r\n"},
        {"progress all along", -1, ""},
    };
    constexpr DWORD kRunMs = 28000;
    std::vector<std::unique_ptr<EncoderSandbox>> sandboxes;
    std::vector<ProgramResult> runs(std::size(cases));
    std::vector<DWORD> took(std::size(cases));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(cases); ++i) {
        sandboxes.push_back(std::make_unique<EncoderSandbox>());
        EncoderSandbox& sandbox = *sandboxes.back();
        ASSERT_TRUE(sandbox.Ready() && sandbox.AddStandInFfmpeg());
        sandbox.Mark(L".progress", std::to_string(cases[i].progressSeconds));
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        threads.emplace_back([&, i] {
            const DWORD start = ::GetTickCount();
            runs[i] = RunProgram(sandboxes[i]->CommandLine(0, L"Mic"), kRunMs);
            took[i] = ::GetTickCount() - start;
        });
    }
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const ProgramResult& run = runs[i];
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(run.started);
        std::printf("%s: %s after %lu ms\n", c.what, run.timedOut ? "still running" : "ended", took[i]);
        if (!*c.line) {
            EXPECT_TRUE(run.timedOut) << "ended with " << run.exitCode << ": " << run.output.substr(run.output.size() - 300);
            continue;
        }
        ASSERT_FALSE(run.timedOut) << "the watchdog did not end FFmpeg";
        EXPECT_EQ(9u, run.exitCode);
        const DWORD limitMs = 15000 + 1000 * c.progressSeconds;
        EXPECT_GE(took[i], limitMs);
        EXPECT_LE(took[i], limitMs + 8000);
        const std::string said = ReadAll(sandboxes[i]->Ffmpeg() + L".said");
        EXPECT_GT(said.size(), 20000u);
        EXPECT_TRUE(run.output == said + c.line)
            << "not FFmpeg's output unchanged, then the line; " << run.output.size() << " bytes passed on of "
            << said.size() << ", ending: " << run.output.substr(run.output.size() > 200 ? run.output.size() - 200 : 0);
    }
}

// A silent TCP listener on loopback: it takes connections (the system
// completes them for its backlog) and never answers.
class SilentListener {
public:
    SilentListener() {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof(address);
        if (m_socket != INVALID_SOCKET && ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(m_socket, 8) == 0 && ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentListener() {
        if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
        if (m_started) ::WSACleanup();
    }
    int Port() const { return m_port; }

private:
    bool m_started = false;
    SOCKET m_socket = INVALID_SOCKET;
    int m_port = 0;
};

// The real FFmpeg against a server that never answers its handshake: its
// own I/O time-out is longer, so QvShow.exe's watchdog ends it.
TEST(QvShow, RealFfmpegAgainstSilentServerEndsWithNoProgress) {
    const std::wstring fetched = TestBinDir() + L"..\\ffmpeg\\ffmpeg.exe";
    QV_REQUIRE_COMPONENT(::GetFileAttributesW(fetched.c_str()) == INVALID_FILE_ATTRIBUTES
                             ? "no fetched Windows FFmpeg at " + ToUtf8(fetched) + " (the fetch_ffmpeg test puts it there)"
                             : std::string());
    const std::wstring webcam = L"QV encoder test webcam", microphone = L"QV encoder test microphone";
    ASSERT_EQ(0u, RunDemoTool({L"register", L"--webcam", webcam}).exitCode);
    ASSERT_EQ(0u, RunDemoTool({L"register", L"--microphone", microphone}).exitCode);
    SilentListener server;
    ASSERT_NE(0, server.Port());
    EncoderSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready() && ::CopyFileW(fetched.c_str(), sandbox.Ffmpeg().c_str(), FALSE));
    const std::wstring own = sandbox.CommandLine(0, microphone,
                                                 L"rtmp://127.0.0.1:" + std::to_wstring(server.Port()) + L"/kavo/room");
    std::wstring line = own;
    const std::wstring camera = std::wstring(L"video=\"") + kCamera + L"\"";
    line.replace(line.find(camera), camera.size(), L"video=\"" + webcam + L"\"");
    const DWORD start = ::GetTickCount();
    const ProgramResult run = RunProgram(line, 40000);
    const DWORD took = ::GetTickCount() - start;
    RunDemoTool({L"unregister", L"--webcam", webcam});
    RunDemoTool({L"unregister", L"--microphone", microphone});
    std::printf("QvShow.exe with the fetched FFmpeg against a silent server: exit %lu after %lu ms\n", run.exitCode,
                took);
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(9u, run.exitCode) << run.output;
    EXPECT_LE(took, 20000u);
    EXPECT_NE(std::string::npos, run.output.find("QvShow: no progress: FFmpeg had not reached the server")) << run.output;
}

TEST(QvShow, BadInputStartsNothing) {
    enum Ffmpeg { kNone, kNotAProgram, kBroken, kGood };
    const struct {
        const char* what;
        Ffmpeg ffmpeg;
        std::wstring arguments;  // empty: the daemon's level-0 line with `url`
        DWORD exitCode;
        const char* says;
        const wchar_t* url = kUrl;
    } cases[] = {
        {"no ffmpeg.exe", kNone, L"", 3, "no FFmpeg at "},
        {"ffmpeg.exe that is no program", kNotAProgram, L"", 6, "cannot run"},
        {"FFmpeg that lists no encoders", kBroken, L"", 6, "did not list its encoders"},
        {"no arguments", kGood, L" ", 2, "refused"},
        {"another audio encoder", kGood,
         L"  -f dshow  -i video=\"Kavo直播插件\":audio=\"Mic\"  -r:v 10 -s:v  640*480 -b:v 300k -c:v libx264 -tune "
         L"zerolatency -x264-params keyint=10:keyint_min=6 -pix_fmt yuv420p -c:a aac -ar 44100 -ab 32k -f flv "
         L"\"rtmp://h/kavo/a live=1\"",
         2, "refused"},
        {"an extra option at the end", kGood,
         L"  -f dshow  -i video=\"Kavo直播插件\":audio=\"Mic\"  -r:v 10 -s:v  640*480 -b:v 300k -c:v libx264 -tune "
         L"zerolatency -x264-params keyint=10:keyint_min=6 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv "
         L"\"rtmp://h/kavo/a live=1\" -y",
         2, "refused"},
        {"device names unquoted", kGood,
         L"  -f dshow  -i video=Kavo:audio=Mic  -r:v 7 -s:v  320*240 -b:v 40k -c:v libx264 "
         L"-x264-params keyint=14:keyint_min=7 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 16k -f flv "
         L"\"rtmp://h/kavo/a live=1\"",
         2, "refused"},
        {"target without live=1", kGood,
         L"  -f dshow  -i video=\"Kavo\":audio=\"Mic\"  -r:v 7 -s:v  320*240 -b:v 40k -c:v libx264 "
         L"-x264-params keyint=14:keyint_min=7 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 16k -f flv "
         L"\"rtmp://h/kavo/a\"",
         2, "refused"},
        {"a colon in a device name", kGood,
         L"  -f dshow  -i video=\"Kavo\":audio=\"x:video=Other\"  -r:v 7 -s:v  320*240 -b:v 40k -c:v libx264 "
         L"-x264-params keyint=14:keyint_min=7 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 16k -f flv "
         L"\"rtmp://h/kavo/a live=1\"",
         2, "colon"},
        {"a file as target", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"C:\\users\\public\\probe.flv"},
        {"a UNC path as target", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"\\\\host\\share\\x.flv"},
        {"a file: URL as target", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"file:///C:/x.flv"},
        {"an http: URL as target", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"http://127.0.0.1/x"},
        {"an option as target", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"-x"},
        {"a scheme alone as target", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"rtmp://"},
        {"rtmp without its slashes", kGood, L"", 2, "is not an rtmp:// or rtmps:// address", L"rtmp:x"},
    };
    for (const auto& c : cases) {
        EncoderSandbox sandbox;
        ASSERT_TRUE(sandbox.Ready());
        if (c.ffmpeg == kNotAProgram) sandbox.Mark(L"", "not a program");
        if (c.ffmpeg == kBroken || c.ffmpeg == kGood) {
            ASSERT_TRUE(sandbox.AddStandInFfmpeg());
        }
        if (c.ffmpeg == kBroken) sandbox.Mark(L".broken");
        sandbox.Mark(L".exit", "0");
        const std::wstring own = sandbox.CommandLine(0, L"Mic", c.url);
        const std::wstring line =
            c.arguments.empty() ? own : own.substr(0, own.find(L"QvShow.exe") + 10) + c.arguments;
        ProgramResult run = RunProgram(line, 20000);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(c.exitCode, run.exitCode) << c.what << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find("QvShow: ")) << c.what << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.says)) << c.what << ": " << run.output;
        EXPECT_TRUE(sandbox.PublishArguments().empty()) << c.what << ": FFmpeg was started to publish";
        if (c.exitCode == 2) {
            EXPECT_TRUE(sandbox.Starts().empty()) << c.what << ": FFmpeg was started";
            EXPECT_EQ(1, std::count(run.output.begin(), run.output.end(), '\n')) << c.what << ": " << run.output;
        }
        if (c.ffmpeg == kNone) {
            EXPECT_NE(std::string::npos, run.output.find("ffmpeg.exe")) << "the path looked at: " << run.output;
        }
    }
}

}  // namespace
