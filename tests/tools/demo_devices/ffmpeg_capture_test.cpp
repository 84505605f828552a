// The demo devices through a capture program we did not write: the stock
// Windows FFmpeg's dshow input lists their formats and records a second of
// each. FFmpeg is fetched into the build tree by the fetch_ffmpeg test;
// without it the test is skipped, and fails when CI=true.
#include "tests/tools/demo_devices/demo_device_graph.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/tools/demo_devices/expected_frames.h"
#include "tests/tools/demo_devices/tone_analysis.h"

namespace {

const std::wstring kMic = L"演示麦克风 FFmpeg Mic";
const std::wstring kCam = L"演示摄像头 FFmpeg Cam";

std::wstring FfmpegPath() {
    wchar_t full[MAX_PATH] = {};
    ::GetFullPathNameW((TestBinDir() + L"..\\ffmpeg\\ffmpeg.exe").c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring TempPath(const wchar_t* suffix) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"qv_demo_ffmpeg_" + std::to_wstring(::GetCurrentProcessId()) + suffix;
}

ProgramResult RunFfmpeg(const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(FfmpegPath()) + L" -hide_banner -nostdin -y";
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    return RunProgram(line, 60000);
}

std::vector<uint8_t> ReadFile(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, in)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(in);
    return bytes;
}

class FfmpegCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::GetFileAttributesW(FfmpegPath().c_str()) == INVALID_FILE_ATTRIBUTES) {
            const char* ci = std::getenv("CI");
            if (ci && std::strcmp(ci, "true") == 0) FAIL() << "no FFmpeg at " << ToUtf8(FfmpegPath()) << " (fetch_ffmpeg)";
            GTEST_SKIP() << "no FFmpeg at " << ToUtf8(FfmpegPath());
        }
        ASSERT_TRUE(WriteBmp(m_picture, m_bmp));
        ASSERT_EQ(0u, RunDemoTool({L"register", L"--microphone", kMic, L"--tone", L"1000"}).exitCode);
        ASSERT_EQ(0u, RunDemoTool({L"register", L"--webcam", kCam, L"--picture", m_bmp, L"--formats",
                                   L"rgb24:320x240,yuy2:640x480"})
                          .exitCode);
    }
    void TearDown() override {
        RunDemoTool({L"unregister", L"--microphone", kMic});
        RunDemoTool({L"unregister", L"--webcam", kCam});
        for (const std::wstring& path : {m_bmp, m_output}) ::DeleteFileW(path.c_str());
    }

    TestPicture m_picture = NoisyPicture(320, 240);
    const std::wstring m_bmp = TempPath(L".bmp");
    const std::wstring m_output = TempPath(L".raw");
};

TEST_F(FfmpegCaptureTest, ListsTheFormatsAndRecordsASecondOfEachDevice) {
    ProgramResult listed = RunFfmpeg({L"-f", L"dshow", L"-list_options", L"true", L"-i", L"audio=" + kMic});
    EXPECT_NE(std::string::npos, listed.output.find("min ch=2 bits=16 rate= 44100 max ch=2 bits=16 rate= 44100"))
        << listed.output;
    listed = RunFfmpeg({L"-f", L"dshow", L"-list_options", L"true", L"-i", L"video=" + kCam});
    for (const char* line : {"pixel_format=bgr24  min s=320x240 fps=30 max s=320x240 fps=30",
                             "pixel_format=yuyv422  min s=640x480 fps=30 max s=640x480 fps=30"})
        EXPECT_NE(std::string::npos, listed.output.find(line)) << listed.output;

    ProgramResult recorded =
        RunFfmpeg({L"-f", L"dshow", L"-i", L"audio=" + kMic, L"-t", L"1", L"-f", L"s16le", m_output});
    ASSERT_EQ(0u, recorded.exitCode) << recorded.output;
    const std::vector<uint8_t> pcm = ReadFile(m_output);
    EXPECT_NEAR(44100.0 * 4, static_cast<double>(pcm.size()), 44100.0 * 4 / 20);
    EXPECT_NEAR(1000.0, StrongestFrequency(pcm), 1.0);

    recorded = RunFfmpeg({L"-f", L"dshow", L"-video_size", L"320x240", L"-rtbufsize", L"64M", L"-i", L"video=" + kCam,
                          L"-frames:v", L"30", L"-f", L"rawvideo", L"-pix_fmt", L"bgr24", m_output});
    ASSERT_EQ(0u, recorded.exitCode) << recorded.output;
    const std::vector<uint8_t> frames = ReadFile(m_output);
    const size_t frameBytes = m_picture.bgr.size();
    ASSERT_EQ(30 * frameBytes, frames.size());
    // FFmpeg hands bottom-up RGB out top-down: exactly the picture's rows.
    for (size_t k = 0; k < 30; ++k)
        ASSERT_EQ(0, std::memcmp(&frames[k * frameBytes], m_picture.bgr.data(), frameBytes)) << "frame " << k;
}

}  // namespace
