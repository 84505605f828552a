// The camera as a capture program we did not write sees it: a stock Windows
// build of FFmpeg opens "Kavo直播插件" through its DirectShow input, lists it
// and its formats, and records raw frames, which must be the stand-by
// picture when nothing is injected and exactly the injected picture while a
// producer in another process keeps one fresh.
//
// FFmpeg is fetched into the build tree by the fetch_ffmpeg test; without it
// (no network) the whole program reports itself skipped (exit code 77).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/camera/filter/camera_graph.h"
#include "tests/support/child_process.h"

namespace {

constexpr int kSkipExitCode = 77;
constexpr DWORD kCaptureTimeoutMs = 40000;
// The producer rewrites its picture this often, well inside the 2 s in which
// the camera takes a frame as fresh.
constexpr int kProducerIntervalMs = 100;
const wchar_t kMovingValues[] = L"16,48,80,112,144,176,208,240";
const uint8_t kMovingBytes[] = {16, 48, 80, 112, 144, 176, 208, 240};
constexpr size_t kMovingCount = sizeof kMovingBytes;

// The build puts FFmpeg in ffmpeg/ beside the bin/ directory of the tests.
std::wstring FfmpegPath() {
    const std::wstring relative = TestBinDir() + L"..\\ffmpeg\\ffmpeg.exe";
    wchar_t full[MAX_PATH] = {};
    if (!::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr)) return relative;
    return full;
}

bool FfmpegPresent() {
    const DWORD attributes = ::GetFileAttributesW(FfmpegPath().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CameraInput() { return std::wstring(L"video=") + kCameraName; }

// Rows in the opposite order: FFmpeg hands bottom-up RGB out top-down.
std::vector<uint8_t> FlipRows(const std::vector<uint8_t>& picture, size_t rowBytes) {
    std::vector<uint8_t> flipped(picture.size());
    const size_t rows = picture.size() / rowBytes;
    for (size_t r = 0; r < rows; ++r)
        std::copy(picture.begin() + r * rowBytes, picture.begin() + (r + 1) * rowBytes,
                  flipped.begin() + (rows - 1 - r) * rowBytes);
    return flipped;
}

// What one frame of a capture holds compared with the picture expected (as
// the camera delivers it, bottom-up); empty when FFmpeg gave it top-down and
// byte for byte.
std::string CompareFrame(const uint8_t* frame, const std::vector<uint8_t>& bottomUp, size_t rowBytes) {
    const std::vector<uint8_t> topDown = FlipRows(bottomUp, rowBytes);
    if (std::equal(topDown.begin(), topDown.end(), frame)) return std::string();
    if (std::equal(bottomUp.begin(), bottomUp.end(), frame)) return "the picture with its rows in camera order (not flipped)";
    return FirstDifference(frame, topDown.data(), topDown.size());
}

// The camera registered from a copy of the module in a directory of this
// run. A shared section is shared by the processes that map the same file,
// so the copy's frame record is this test's alone: other test programs that
// write the record of bin/QvCamera.dll at the same time cannot reach it.
// The copy is loaded here too, so that the test sees that record.
std::wstring g_modulePath;

class CameraCopy : public ::testing::Environment {
public:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
        m_dir = std::wstring(temp) + L"qv_capture_client_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(m_dir.c_str(), nullptr);
        g_modulePath = m_dir + L"QvCamera.dll";
        ASSERT_TRUE(::CopyFileW((TestBinDir() + L"QvCamera.dll").c_str(), g_modulePath.c_str(), FALSE))
            << "cannot copy the module: error " << ::GetLastError();
        ASSERT_EQ("", RunDetached(L"regsvr32.exe /s " + QuoteArgument(g_modulePath), 30000));
        m_registered = true;
        m_module = ::LoadLibraryW(g_modulePath.c_str());
        ASSERT_NE(nullptr, m_module) << "the module copy did not load, error " << ::GetLastError();
        ASSERT_NE(nullptr, LoadedFrameExchange()) << "no .zrcamer section in the loaded module";
    }
    void TearDown() override {
        if (m_module) ::FreeLibrary(m_module);
        if (m_registered) {
            EXPECT_EQ("", RunDetached(L"regsvr32.exe /s /u " + QuoteArgument(g_modulePath), 30000));
        }
        ::DeleteFileW(g_modulePath.c_str());
        ::RemoveDirectoryW(m_dir.c_str());
    }

private:
    std::wstring m_dir;
    bool m_registered = false;
    HMODULE m_module = nullptr;
};

const auto* const g_camera = ::testing::AddGlobalTestEnvironment(new CameraCopy);

// A frame producer running in the background for the length of a test; it
// never inherits our handles, so nothing it starts can hold our pipes.
class BackgroundProducer {
public:
    ~BackgroundProducer() { Stop(); }

    // Ends it; its pictures stay in the record while this process has the
    // module loaded. Every picture it writes is the same, so a write cut
    // short leaves that picture whole.
    void Stop() {
        if (!m_process) return;
        ::TerminateProcess(m_process, 1);
        ::WaitForSingleObject(m_process, 5000);
        ::CloseHandle(m_process);
        m_process = nullptr;
    }

    // Starts it and waits until its first picture of `length` bytes is in
    // the shared record; empty on success, else what went wrong.
    std::string Start(const std::wstring& pattern, LONG length) {
        std::wstring line = QuoteArgument(TestBinDir() + L"test_frame_producer.exe") + L" --module " +
                            QuoteArgument(g_modulePath) + L" --pattern " + pattern +
                            L" --length " + std::to_wstring(length) + L" --count 0 --duration-ms 30000" +
                            L" --interval-ms " + std::to_wstring(kProducerIntervalMs);
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                              &pi))
            return "cannot start the producer: error " + std::to_string(::GetLastError());
        ::CloseHandle(pi.hThread);
        m_process = pi.hProcess;

        FrameExchange* record = LoadedFrameExchange();
        if (!record) return "the shared frame record is not mapped";
        const DWORD started = ::GetTickCount();
        while (::GetTickCount() - started < 15000) {
            const DWORD now = ::GetTickCount();
            if (record->hasFrame && record->frameLength == length && now - record->writeTick < 1000) return std::string();
            if (::WaitForSingleObject(m_process, 20) == WAIT_OBJECT_0) {
                DWORD code = 0;
                ::GetExitCodeProcess(m_process, &code);
                return "the producer ended with " + std::to_string(code) + " before its picture arrived";
            }
        }
        return "no fresh picture from the producer within 15 s";
    }

private:
    HANDLE m_process = nullptr;
};

// No picture in the shared record that the camera could take as fresh.
std::string WaitUntilNoFreshFrame() {
    FrameExchange* record = LoadedFrameExchange();
    if (!record) return "the shared frame record is not mapped";
    const DWORD started = ::GetTickCount();
    while (::GetTickCount() - started < 6000) {
        if (!record->hasFrame || ::GetTickCount() - record->writeTick > kFrameFreshnessMs + 100) return std::string();
        ::Sleep(50);
    }
    return "the shared record still holds a fresh picture";
}

struct Capture {
    ProgramResult run;
    std::string log;  // what FFmpeg printed, UTF-8
    std::vector<uint8_t> bytes;
    // Of the input stream, as FFmpeg reports it.
    int width = 0;
    int height = 0;
    std::string fps;
};

// An output file of its own in the temporary directory, removed afterwards.
class TemporaryFile {
public:
    TemporaryFile() {
        wchar_t dir[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, dir);
        static int counter = 0;
        m_path = std::wstring(dir) + L"qv_capture_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                 std::to_wstring(++counter) + L".raw";
        ::DeleteFileW(m_path.c_str());
    }
    ~TemporaryFile() { ::DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }
    // What has been written so far, while another process writes it.
    ULONGLONG Size() const {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) return 0;
        return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    std::vector<uint8_t> Read() const {
        std::vector<uint8_t> bytes;
        HANDLE file = ::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return bytes;
        LARGE_INTEGER size = {};
        if (::GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 30)) {
            bytes.resize(static_cast<size_t>(size.QuadPart));
            DWORD read = 0;
            if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
            bytes.resize(read);
        }
        ::CloseHandle(file);
        return bytes;
    }

private:
    std::wstring m_path;
};

std::wstring JoinArguments(const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(FfmpegPath());
    for (const auto& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}

ProgramResult RunFfmpeg(const std::vector<std::wstring>& arguments) {
    return RunProgram(JoinArguments(arguments), kCaptureTimeoutMs);
}

// Records `frames` raw BGR frames from the camera into `output`;
// inputOptions go before the input (a size, a frame rate).
Capture CaptureFramesInto(const TemporaryFile& output, const std::vector<std::wstring>& inputOptions, int frames) {
    std::vector<std::wstring> arguments = {L"-hide_banner", L"-nostdin", L"-y", L"-f", L"dshow"};
    arguments.insert(arguments.end(), inputOptions.begin(), inputOptions.end());
    // A roomy real-time buffer: a busy machine must not make FFmpeg drop frames.
    for (const wchar_t* a : {L"-rtbufsize", L"64M", L"-i"}) arguments.push_back(a);
    arguments.push_back(CameraInput());
    for (const wchar_t* a : {L"-frames:v"}) arguments.push_back(a);
    arguments.push_back(std::to_wstring(frames));
    for (const wchar_t* a : {L"-f", L"rawvideo", L"-pix_fmt", L"bgr24"}) arguments.push_back(a);
    arguments.push_back(output.Path());

    Capture capture;
    capture.run = RunFfmpeg(arguments);
    capture.log = capture.run.output;
    capture.bytes = output.Read();
    // "Input #0, dshow, ..." then "Stream #0:0: Video: rawvideo, bgr24, 640x480, 10 fps, ..."
    const size_t input = capture.log.find("Input #0");
    if (input != std::string::npos) {
        const std::string tail = capture.log.substr(input);
        std::smatch match;
        if (std::regex_search(tail, match, std::regex(R"(Video: rawvideo, bgr24, (\d+)x(\d+), ([0-9.]+) fps)"))) {
            capture.width = std::stoi(match[1]);
            capture.height = std::stoi(match[2]);
            capture.fps = match[3];
        }
    }
    return capture;
}

Capture CaptureFrames(const std::vector<std::wstring>& inputOptions, int frames) {
    TemporaryFile output;
    return CaptureFramesInto(output, inputOptions, frames);
}

// Common checks of a finished capture: FFmpeg ran, ended well, reports the
// size and rate, and wrote exactly `frames` frames of that size.
void ExpectCapture(const Capture& capture, int width, int height, const std::string& fps, int frames) {
    ASSERT_TRUE(capture.run.started) << "FFmpeg did not start";
    ASSERT_FALSE(capture.run.timedOut) << "FFmpeg still ran after " << kCaptureTimeoutMs << " ms:\n" << capture.log;
    ASSERT_EQ(0u, capture.run.exitCode) << capture.log;
    std::printf("FFmpeg reports %dx%d at %s fps\n", capture.width, capture.height, capture.fps.c_str());
    EXPECT_EQ(width, capture.width) << capture.log;
    EXPECT_EQ(height, capture.height) << capture.log;
    EXPECT_EQ(fps, capture.fps) << capture.log;
    ASSERT_EQ(static_cast<size_t>(width) * height * 3 * frames, capture.bytes.size()) << capture.log;
}

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
    std::vector<std::string> sizes;
    const std::regex line(R"(pixel_format=(\w+)\s+min s=(\d+x\d+) fps=([0-9.]+) max s=(\d+x\d+) fps=([0-9.]+))");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        EXPECT_EQ("bgr24", m[1].str()) << m[0];
        EXPECT_EQ("80x60", m[2].str()) << m[0];
        EXPECT_EQ("0.2", m[3].str()) << m[0];  // one frame in 5 s
        EXPECT_EQ("15", m[5].str()) << m[0];
        sizes.push_back(m[4]);
    }
    // The current type first (640x480 on a fresh camera), then the table.
    const std::vector<std::string> expected = {"640x480", "160x120", "320x240", "480x360"};
    EXPECT_EQ(expected, sizes) << log;
}

TEST_F(CaptureClientTest, StandbyPictureAt640x480WhenNothingIsInjected) {
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    const std::vector<uint8_t>& standby = StandbyFullPicture();
    ASSERT_EQ(kFullBytes, standby.size());
    const Capture capture = CaptureFrames({}, 5);
    // Without -framerate FFmpeg takes the rate of the type's AvgTimePerFrame.
    ExpectCapture(capture, 640, 480, "10", 5);
    if (HasFatalFailure()) return;
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ("", CompareFrame(capture.bytes.data() + i * kFullBytes, standby, 1920)) << "frame " << i;
}

TEST_F(CaptureClientTest, HalvedStandbyPictureAt320x240) {
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    const std::vector<uint8_t> half = HalvedPicture(StandbyFullPicture());
    const Capture capture = CaptureFrames({L"-video_size", L"320x240"}, 5);
    ExpectCapture(capture, 320, 240, "10", 5);
    if (HasFatalFailure()) return;
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ("", CompareFrame(capture.bytes.data() + i * kHalfBytes, half, 960)) << "frame " << i;
}

TEST_F(CaptureClientTest, InjectedPictureAt640x480ByteForByte) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(L"ramp", static_cast<LONG>(kFullBytes)));
    const std::vector<uint8_t> ramp = RampPicture(kFullBytes);
    // -framerate makes FFmpeg set 15 frames a second through IAMStreamConfig.
    const Capture capture = CaptureFrames({L"-framerate", L"15"}, 5);
    ExpectCapture(capture, 640, 480, "15", 5);
    if (HasFatalFailure()) return;
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ("", CompareFrame(capture.bytes.data() + i * kFullBytes, ramp, 1920)) << "frame " << i;
}

TEST_F(CaptureClientTest, InjectedPictureHalvedAt320x240) {
    BackgroundProducer producer;
    ASSERT_EQ("", producer.Start(L"ramp", static_cast<LONG>(kFullBytes)));
    const std::vector<uint8_t> half = HalvedPicture(RampPicture(kFullBytes));
    const Capture capture = CaptureFrames({L"-video_size", L"320x240", L"-framerate", L"15"}, 5);
    ExpectCapture(capture, 320, 240, "15", 5);
    if (HasFatalFailure()) return;
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ("", CompareFrame(capture.bytes.data() + i * kHalfBytes, half, 960)) << "frame " << i;
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
TEST_F(CaptureClientTest, PublishPresetCarriesTheStandbyPictureUpright) {
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
TEST_F(CaptureClientTest, PublishPresetsCarryTheInjectedColour) {
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

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!FfmpegPresent()) {
        std::printf("%s not found (the fetch_ffmpeg test puts it there): skipped\n", ToUtf8(FfmpegPath()).c_str());
        return kSkipExitCode;
    }
    return RUN_ALL_TESTS();
}
