// FFmpeg, the producer and the camera copy of the capture client tests.
#include "tests/camera/capture_client/capture_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>

namespace {

constexpr int kSkipExitCode = 77;
// The producer rewrites its picture this often, well inside the 2 s in which
// the camera takes a frame as fresh.
constexpr int kProducerIntervalMs = 100;

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
        ASSERT_EQ("", RegisterCameraCopy(true));
        m_registered = true;
        m_module = ::LoadLibraryW(g_modulePath.c_str());
        ASSERT_NE(nullptr, m_module) << "the module copy did not load, error " << ::GetLastError();
        ASSERT_NE(nullptr, LoadedFrameExchange()) << "no .zrcamer section in the loaded module";
    }
    void TearDown() override {
        if (m_module) ::FreeLibrary(m_module);
        if (m_registered) {
            EXPECT_EQ("", RegisterCameraCopy(false));
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

std::wstring JoinArguments(const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(FfmpegPath());
    for (const auto& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}

}  // namespace

std::string RegisterCameraCopy(bool registered) {
    return RunDetached(std::wstring(L"regsvr32.exe /s ") + (registered ? L"" : L"/u ") + QuoteArgument(g_modulePath),
                       30000);
}

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

std::vector<uint8_t> FlipRows(const std::vector<uint8_t>& picture, size_t rowBytes) {
    std::vector<uint8_t> flipped(picture.size());
    const size_t rows = picture.size() / rowBytes;
    for (size_t r = 0; r < rows; ++r)
        std::copy(picture.begin() + r * rowBytes, picture.begin() + (r + 1) * rowBytes,
                  flipped.begin() + (rows - 1 - r) * rowBytes);
    return flipped;
}

std::string CompareFrame(const uint8_t* frame, const std::vector<uint8_t>& bottomUp, size_t rowBytes) {
    const std::vector<uint8_t> topDown = FlipRows(bottomUp, rowBytes);
    if (std::equal(topDown.begin(), topDown.end(), frame)) return std::string();
    if (std::equal(bottomUp.begin(), bottomUp.end(), frame)) return "the picture with its rows in camera order (not flipped)";
    return FirstDifference(frame, topDown.data(), topDown.size());
}

template <typename Ready>
std::string BackgroundProducer::Launch(const std::wstring& arguments, Ready&& ready) {
    std::wstring line = QuoteArgument(TestBinDir() + L"test_frame_producer.exe") + L" " + arguments +
                        L" --count 0 --duration-ms 30000 --interval-ms " + std::to_wstring(kProducerIntervalMs);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                          &pi))
        return "cannot start the producer: error " + std::to_string(::GetLastError());
    ::CloseHandle(pi.hThread);
    m_process = pi.hProcess;

    const DWORD started = ::GetTickCount();
    while (::GetTickCount() - started < 15000) {
        if (ready()) return std::string();
        if (::WaitForSingleObject(m_process, 20) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(m_process, &code);
            return "the producer ended with " + std::to_string(code) + " before its picture arrived";
        }
    }
    return "no fresh picture from the producer within 15 s";
}

std::string BackgroundProducer::Start(const std::wstring& pattern, LONG length) {
    FrameExchange* record = LoadedFrameExchange();
    if (!record) return "the shared frame record is not mapped";
    return Launch(L"--module " + QuoteArgument(g_modulePath) + L" --pattern " + pattern + L" --length " +
                      std::to_wstring(length),
                  [&] {
                      return record->hasFrame && record->frameLength == length &&
                             ::GetTickCount() - record->writeTick < 1000;
                  });
}

std::string BackgroundProducer::StartOutsideTheCopy(const std::wstring& arguments) {
    CNamedFrameExchange named;
    if (FAILED(named.Open())) return "cannot open the named frame exchange";
    const volatile NamedFrameHeader& header = *named.Header();
    const DWORD before = header.frameCount;
    return Launch(arguments, [&] {
        return header.frameCount != before && header.hasFrame && ::GetTickCount() - header.writeTick < 1000;
    });
}

void BackgroundProducer::Stop() {
    if (!m_process) return;
    ::TerminateProcess(m_process, 1);
    ::WaitForSingleObject(m_process, 5000);
    ::CloseHandle(m_process);
    m_process = nullptr;
}

std::string WaitUntilNoFreshFrame() {
    FrameExchange* record = LoadedFrameExchange();
    if (!record) return "the shared frame record is not mapped";
    CNamedFrameExchange named;
    if (FAILED(named.Open())) return "cannot open the named frame exchange";
    const volatile NamedFrameHeader& header = *named.Header();
    const DWORD started = ::GetTickCount();
    while (::GetTickCount() - started < 6000) {
        // A margin past the freshness limit, for the clocks of the readers.
        const bool recordFresh = record->hasFrame && ::GetTickCount() - record->writeTick <= kFrameFreshnessMs + 100;
        const bool namedFresh = header.hasFrame && ::GetTickCount() - header.writeTick <= kFrameFreshnessMs + 100;
        if (!recordFresh && !namedFresh) return std::string();
        ::Sleep(50);
    }
    return "the shared record or the named exchange still holds a fresh picture";
}

TemporaryFile::TemporaryFile() {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    static int counter = 0;
    m_path = std::wstring(dir) + L"qv_capture_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
             std::to_wstring(++counter) + L".out";
    ::DeleteFileW(m_path.c_str());
}

TemporaryFile::~TemporaryFile() { ::DeleteFileW(m_path.c_str()); }

ULONGLONG TemporaryFile::Size() const {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<uint8_t> TemporaryFile::Read() const {
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

ProgramResult RunFfmpeg(const std::vector<std::wstring>& arguments) {
    return RunProgram(JoinArguments(arguments), kCaptureTimeoutMs);
}

Capture CaptureFramesInto(const TemporaryFile& output, const std::vector<std::wstring>& inputOptions, int frames,
                          const std::wstring& outputFormat) {
    std::vector<std::wstring> arguments = {L"-hide_banner", L"-nostdin", L"-y", L"-f", L"dshow"};
    arguments.insert(arguments.end(), inputOptions.begin(), inputOptions.end());
    // A roomy real-time buffer: a busy machine must not make FFmpeg drop frames.
    for (const wchar_t* a : {L"-rtbufsize", L"64M", L"-i"}) arguments.push_back(a);
    arguments.push_back(CameraInput());
    for (const wchar_t* a : {L"-frames:v"}) arguments.push_back(a);
    arguments.push_back(std::to_wstring(frames));
    for (const wchar_t* a : {L"-f", L"rawvideo", L"-pix_fmt"}) arguments.push_back(a);
    arguments.push_back(outputFormat);
    arguments.push_back(output.Path());

    Capture capture;
    capture.run = RunFfmpeg(arguments);
    capture.log = capture.run.output;
    capture.bytes = output.Read();
    capture.outputFormat = outputFormat;
    // "Input #0, dshow, ..." then "Stream #0:0: Video: rawvideo, bgr24, 640x480, 10 fps, ..."
    // or "Video: rawvideo (NV12 / 0x3231564E), nv12, 1280x720, 30 fps, ..."
    const size_t input = capture.log.find("Input #0");
    if (input != std::string::npos) {
        const std::string tail = capture.log.substr(input);
        std::smatch match;
        if (std::regex_search(tail, match,
                              std::regex(R"(Video: rawvideo(?: \([^)]*\))?, (\w+), (\d+)x(\d+), ([0-9.]+) fps)"))) {
            capture.pixelFormat = match[1];
            capture.width = std::stoi(match[2]);
            capture.height = std::stoi(match[3]);
            capture.fps = match[4];
        }
    }
    return capture;
}

Capture CaptureFrames(const std::vector<std::wstring>& inputOptions, int frames, const std::wstring& outputFormat) {
    TemporaryFile output;
    return CaptureFramesInto(output, inputOptions, frames, outputFormat);
}

void ExpectCapture(const Capture& capture, int width, int height, const std::string& fps, int frames) {
    ASSERT_TRUE(capture.run.started) << "FFmpeg did not start";
    ASSERT_FALSE(capture.run.timedOut) << "FFmpeg still ran after " << kCaptureTimeoutMs << " ms:\n" << capture.log;
    ASSERT_EQ(0u, capture.run.exitCode) << capture.log;
    std::printf("FFmpeg reports %dx%d at %s fps\n", capture.width, capture.height, capture.fps.c_str());
    EXPECT_EQ(width, capture.width) << capture.log;
    EXPECT_EQ(height, capture.height) << capture.log;
    EXPECT_EQ(fps, capture.fps) << capture.log;
    const size_t pixels = static_cast<size_t>(width) * height;
    const size_t frameBytes = capture.outputFormat == L"nv12" ? pixels * 3 / 2 : pixels * 3;
    ASSERT_EQ(frameBytes * frames, capture.bytes.size()) << capture.log;
}

void ExpectPictureCaptured(const Capture& capture, const std::vector<uint8_t>& picture, int width, int height,
                           const std::string& fps, int frames) {
    ASSERT_NO_FATAL_FAILURE(ExpectCapture(capture, width, height, fps, frames));
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int i = 0; i < frames; ++i)
        EXPECT_EQ("", CompareFrame(capture.bytes.data() + i * rowBytes * height, picture, rowBytes)) << "frame " << i;
}


int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!FfmpegPresent()) {
        std::printf("%s not found (the fetch_ffmpeg test puts it there): skipped\n", ToUtf8(FfmpegPath()).c_str());
        return kSkipExitCode;
    }
    return RUN_ALL_TESTS();
}
