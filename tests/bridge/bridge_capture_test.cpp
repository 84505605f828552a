// QvGraph.exe as the daemon runs it, with the synthetic webcam: what a
// capture program we did not write (the stock Windows FFmpeg) records from
// "Kavo直播插件" is the webcam's picture at each format the webcam offers;
// each failure has its line and exit code; a bridge killed while it writes
// does no harm to the next one.
#include <gtest/gtest.h>

#include <windows.h>
#include <dshow.h>
#include <uuids.h>
#include <wrl/client.h>
#include <sddl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/child_exit_codes.h"
#include "common/named_frame_exchange.h"
#include "common/unique_handle.h"
#include "tests/bridge/webcam_pictures.h"
#include "tests/camera/capture_client/capture_client.h"

namespace {

const wchar_t kWebcamName[] = L"QV bridge test webcam";
const wchar_t kMicrophoneName[] = L"Demo microphone";
constexpr DWORD kBridgeStartMs = 20000;

std::string RunDemoDevices(const std::wstring& arguments) {
    const ProgramResult run = RunProgram(QuoteArgument(TestBinDir() + L"demo_devices.exe") + L" " + arguments, 30000);
    if (!run.started) return "demo_devices.exe did not start";
    if (run.timedOut || run.exitCode != 0)
        return "demo_devices.exe " + ToUtf8(arguments) + " ended with " + std::to_string(run.exitCode) + ": " +
               run.output;
    return std::string();
}

// The synthetic webcam showing `picture`, offering `formats`, for the
// object's life.
class Webcam {
public:
    Webcam(const RgbPicture& picture, const std::wstring& formats, const std::wstring& moreOptions = L"",
           const std::wstring& name = kWebcamName)
        : m_name(name) {
        static int count = 0;
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_picturePath = std::wstring(temp) + L"qv_bridge_webcam_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++count) + L".bmp";
        if (!WriteBmp(m_picturePath, picture)) {
            m_error = "cannot write the webcam's picture";
            return;
        }
        m_error = RunDemoDevices(L"register --webcam " + QuoteArgument(m_name) + L" --picture " +
                                 QuoteArgument(m_picturePath) + L" --formats " + formats + moreOptions);
    }
    ~Webcam() {
        RunDemoDevices(L"unregister --webcam " + QuoteArgument(m_name));
        ::DeleteFileW(m_picturePath.c_str());
    }
    const std::string& Error() const { return m_error; }

private:
    std::wstring m_name;
    std::wstring m_picturePath;
    std::string m_error;
};

// The bridge started with the daemon's argument text.
std::wstring BridgeCommandLine(const std::wstring& video) {
    return QuoteArgument(TestBinDir() + L"QvGraph.exe") + L" -a \"" + kMicrophoneName + L"\" -v \"" + video + L"\"";
}

// Starts the bridge on the webcam and waits for its line that it delivers.
std::string StartBridge(DebuggeeProcess& bridge) {
    if (!bridge.Start(BridgeCommandLine(kWebcamName))) return "QvGraph.exe did not start";
    if (!bridge.WaitForOutput("QvGraph: delivering", kBridgeStartMs))
        return "QvGraph.exe does not deliver: " + bridge.Output();
    return std::string();
}

// The last frame FFmpeg records from the camera, top-down: its first type
// (640 x 480), or an HD size asked for in NV12 at 30 fps as the HD push
// levels ask, which FFmpeg turns into RGB.
RgbPicture CaptureCamera(int width = 640, int height = 480) {
    const bool hd = width != 640;
    const std::wstring size = std::to_wstring(width) + L"x" + std::to_wstring(height);
    const Capture capture = CaptureFrames(
        hd ? std::vector<std::wstring>{L"-video_size", size, L"-pixel_format", L"nv12", L"-framerate", L"30"}
           : std::vector<std::wstring>{},
        3);
    // FFmpeg reads the rate of the camera's current type (one frame in 0.1 s).
    ExpectCapture(capture, width, height, hd ? "30" : "10", 3);
    const size_t frameBytes = static_cast<size_t>(width) * height * 3;
    RgbPicture frame{width, height, {}};
    if (capture.bytes.size() >= 3 * frameBytes) frame.bgr.assign(capture.bytes.end() - frameBytes, capture.bytes.end());
    return frame;
}

// The bridge's one failure line, on standard error and in the debug output.
void ExpectReported(DebuggeeProcess& bridge, const std::string& line) {
    EXPECT_NE(std::string::npos, bridge.Output().find(line)) << bridge.Output();
    bool debugged = false;
    for (const std::wstring& text : bridge.DebugTexts())
        debugged = debugged || ToUtf8(text).find(line) != std::string::npos;
    EXPECT_TRUE(debugged) << "the line is not in the debug output: " << line;
}

// Upside down (flipped) or left for right (mirrored).
RgbPicture Reoriented(const RgbPicture& picture, bool flipped) {
    RgbPicture out = picture;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* from = flipped ? picture.At(x, picture.height - 1 - y) : picture.At(picture.width - 1 - x, y);
            std::copy(from, from + 3, &out.bgr[(static_cast<size_t>(y) * picture.width + x) * 3]);
        }
    return out;
}

class BridgeCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::GetFileAttributesW((TestBinDir() + L"demo_devices.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
            wchar_t ci[8] = {};
            const bool underCi = ::GetEnvironmentVariableW(L"CI", ci, 8) && std::wstring(ci) == L"true";
            if (underCi) FAIL() << "no demo_devices.exe beside the tests: the synthetic webcam is not built";
            GTEST_SKIP() << "no demo_devices.exe beside the tests: the synthetic webcam is not built";
        }
        ASSERT_TRUE(FfmpegPresent()) << "no FFmpeg in the build tree (the fetch_ffmpeg test fetches it)";
        ASSERT_EQ("", WaitUntilNoFreshFrame());
    }
    void TearDown() override {
        m_bridge.Terminate();
        EXPECT_EQ("", WaitUntilNoFreshFrame());
    }
    DebuggeeProcess m_bridge;
};

TEST_F(BridgeCaptureTest, FfmpegRecordsTheWebcamPictureAtEachFormat) {
    const RgbPicture picture = MakeQuadrantPicture(640, 480);
    const struct {
        const wchar_t* formats;
        int width, height;
        const char* chosen;  // as the bridge names the type it took
    } cases[] = {
        {L"rgb24:640x480", 640, 480, "RGB24 640x480"},
        {L"yuy2:640x480", 640, 480, "YUY2 640x480"},
        {L"yuy2:1280x720", 1280, 720, "YUY2 1280x720"},
        {L"nv12:640x480", 640, 480, "NV12 640x480"},
        {L"rgb32:640x480", 640, 480, "RGB32 640x480"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.formats));
        Webcam webcam(picture, c.formats);
        ASSERT_EQ("", webcam.Error());
        DebuggeeProcess bridge;
        ASSERT_EQ("", StartBridge(bridge));
        EXPECT_NE(std::string::npos, bridge.Output().find(c.chosen)) << bridge.Output();
        const RgbPicture recorded = CaptureCamera();
        const RgbPicture expected = FitReference(Stretch(picture, c.width, c.height));
        const double psnr = Psnr(recorded, expected);
        std::printf("%ls: PSNR %.2f dB\n", c.formats, psnr);
        if (c.width == 640 && std::wstring(c.formats).find(L"rgb24") == 0)
            EXPECT_TRUE(recorded.bgr == picture.bgr) << "not byte for byte; PSNR " << psnr;
        else
            EXPECT_GE(psnr, 30.0);
        // Upright and not mirrored: far closer to the picture than to its
        // flipped or mirrored self (the quadrants differ in colour).
        EXPECT_GT(psnr, Psnr(recorded, Reoriented(expected, true)) + 10);
        EXPECT_GT(psnr, Psnr(recorded, Reoriented(expected, false)) + 10);
        bridge.Terminate();
        ASSERT_EQ("", WaitUntilNoFreshFrame());
    }
}

// The webcam's own 1280 x 720 picture through the named frame exchange, as
// the HD push levels capture it: YUY2 regrouped and NV12 as it came.
TEST_F(BridgeCaptureTest, HdCaptureIsTheWebcamsOwnPicture) {
    const RgbPicture picture = MakeQuadrantPicture(1280, 720);
    for (const wchar_t* format : {L"yuy2:1280x720", L"nv12:1280x720"}) {
        SCOPED_TRACE(ToUtf8(format));
        Webcam webcam(picture, format);
        ASSERT_EQ("", webcam.Error());
        DebuggeeProcess bridge;
        ASSERT_EQ("", StartBridge(bridge));
        const RgbPicture recorded = CaptureCamera(1280, 720);
        const double psnr = Psnr(recorded, picture);
        std::printf("%ls captured at 1280x720 NV12: PSNR %.2f dB\n", format, psnr);
        EXPECT_GE(psnr, 35.0);
        EXPECT_GT(psnr, Psnr(recorded, Reoriented(picture, true)) + 10) << "upside down";
        EXPECT_GT(psnr, Psnr(recorded, Reoriented(picture, false)) + 10) << "mirrored";
        bridge.Terminate();
        ASSERT_EQ("", WaitUntilNoFreshFrame());
    }
}

// MJPG, ranked first for its size, is decoded by the bridge itself (Wine
// has no DirectShow decoder for it, and a decoder would hand it RGB): the
// camera's 640 x 480 picture is the webcam's 1280 x 720 one fitted.
TEST_F(BridgeCaptureTest, MjpgIsDecodedByTheBridgeItself) {
    const RgbPicture picture = MakeQuadrantPicture(1280, 720);
    Webcam webcam(picture, L"mjpg:1280x720,yuy2:640x480");
    ASSERT_EQ("", webcam.Error());
    const DWORD started = ::GetTickCount();
    ASSERT_EQ("", StartBridge(m_bridge));
    std::printf("the bridge delivers after %lu ms\n", ::GetTickCount() - started);
    EXPECT_NE(std::string::npos, m_bridge.Output().find("QvGraph: delivering MJPG 1280x720 30 fps decoded to NV12"))
        << m_bridge.Output();
    const RgbPicture recorded = CaptureCamera();
    EXPECT_GE(Psnr(recorded, FitReference(picture)), 30.0);
}

// The newest fresh frame of the named exchange, waited for.
bool ReadExchange(NamedFrameInfo* info, std::vector<uint8_t>* frame) {
    CNamedFrameExchange exchange;
    if (FAILED(exchange.Open())) return false;
    frame->assign(kNamedFrameCapacity, 0);
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 10000; ::Sleep(50)) {
        if (exchange.ReadLatest(info, frame->data(), frame->size()) == FrameTake::Injected &&
            info->copiedFromImage == 0) {
            frame->resize(info->frameBytes);
            return true;
        }
    }
    return false;
}

double BytePsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

// Webcams as they are sold: uncompressed HD only at a few frames a second,
// MJPG at 30. The bridge takes the format that really delivers 30 and
// writes its own picture into the named exchange at its size, as NV12;
// RGB webcams' pictures go there at their size too.
TEST_F(BridgeCaptureTest, TheExchangeCarriesTheWebcamsOwnPictureAtItsSize) {
    const struct {
        const wchar_t* formats;
        int width, height;
        const char* delivering;
    } cases[] = {
        // A common 1080p USB webcam.
        {L"yuy2:640x480@30,yuy2:1280x720@10,yuy2:1920x1080@5,mjpg:640x480@30,mjpg:1280x720@30,mjpg:1920x1080@30",
         1920, 1080, "QvGraph: delivering MJPG 1920x1080 30 fps decoded to NV12"},
        {L"rgb24:1280x720", 1280, 720, "QvGraph: delivering RGB24 1280x720 30 fps"},
        {L"rgb32:1280x720", 1280, 720, "QvGraph: delivering RGB32 1280x720 30 fps"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.formats));
        const RgbPicture picture = MakeQuadrantPicture(c.width, c.height);
        Webcam webcam(picture, c.formats);
        ASSERT_EQ("", webcam.Error());
        DebuggeeProcess bridge;
        ASSERT_EQ("", StartBridge(bridge));
        EXPECT_NE(std::string::npos, bridge.Output().find(c.delivering)) << bridge.Output();
        NamedFrameInfo info = {};
        std::vector<uint8_t> frame;
        ASSERT_TRUE(ReadExchange(&info, &frame)) << "no frame of the bridge's own in the named exchange";
        EXPECT_EQ(c.width, info.width);
        EXPECT_EQ(c.height, info.height);
        EXPECT_EQ(NamedFrameFormat::NV12, info.format);
        const double psnr = BytePsnr(frame, EncodePicture(picture, PixelFormat::Nv12));
        std::printf("%ls: the exchange holds %ldx%ld NV12 at %lu fps, PSNR %.2f dB against the picture\n", c.formats,
                    info.width, info.height, info.frameRate, psnr);
        EXPECT_GE(psnr, 35.0);
        bridge.Terminate();
        ASSERT_EQ("", WaitUntilNoFreshFrame());
    }
}

// Someone made the exchange's mapping first, with an owner that is not the
// user: the bridge does not use it, says so, and goes on with the 640 x 480
// record; once that mapping is gone it opens the exchange of its own.
TEST_F(BridgeCaptureTest, AnExchangeOfAnotherOwnerIsNotUsedUntilItGoes) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"O:S-1-5-21-1004336348-1177238915-682003330-1001D:(A;;GA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    UniqueHandle squatter(::CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                               kNamedFrameMappingBytes, kNamedFrameExchangeName));
    ::LocalFree(descriptor);
    if (!squatter) GTEST_SKIP() << "the platform lets no one make a mapping with another owner";
    const RgbPicture picture = MakeQuadrantPicture(1280, 720);
    Webcam webcam(picture, L"rgb24:1280x720");
    ASSERT_EQ("", webcam.Error());
    ASSERT_EQ("", StartBridge(m_bridge));
    const std::string line = std::string("QvGraph: camera \"") + ToUtf8(kWebcamName) +
                             "\": the HD frame exchange belongs to another user; not used, HD formats show the "
                             "640x480 picture";
    ExpectReported(m_bridge, line);
    // The record still carries the webcam's picture.
    EXPECT_GE(Psnr(CaptureCamera(), FitReference(picture)), 30.0);
    squatter.reset();
    const DWORD gone = ::GetTickCount();
    NamedFrameInfo info = {};
    std::vector<uint8_t> frame;
    ASSERT_TRUE(ReadExchange(&info, &frame)) << "the bridge did not take up the exchange after the squatter left";
    std::printf("the bridge's own frame was in the exchange %lu ms after the other mapping went\n",
                ::GetTickCount() - gone);
    EXPECT_EQ(1280, info.width);
    EXPECT_EQ(720, info.height);
}

// A video input device whose filter class is not there, as when a
// webcam's driver is gone: listed, but it cannot be opened.
class BrokenCameraEntry {
public:
    static constexpr wchar_t kName[] = L"QV bridge test broken camera";
    BrokenCameraEntry() {
        if (FAILED(::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(m_mapper.GetAddressOf()))))
            return;
        REGFILTER2 filter = {};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        m_registered = SUCCEEDED(m_mapper->RegisterFilter(kMissingClass, kName, nullptr,
                                                          &CLSID_VideoInputDeviceCategory, kName, &filter));
    }
    ~BrokenCameraEntry() {
        if (m_registered) m_mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kName, kMissingClass);
    }
    bool Registered() const { return m_registered; }

private:
    // {6E1F5B0C-9A47-4C2D-8E31-0B7D4A9C5F12}, registered nowhere.
    static constexpr CLSID kMissingClass = {0x6e1f5b0c, 0x9a47, 0x4c2d, {0x8e, 0x31, 0x0b, 0x7d, 0x4a, 0x9c, 0x5f, 0x12}};
    Microsoft::WRL::ComPtr<IFilterMapper2> m_mapper;
    bool m_registered = false;
};

// Two listed cameras of one name (filter classes registered nowhere, as
// with BrokenCameraEntry): DirectShow lists both under the same name, as it
// does two webcams of one model.
class TwinCameraEntries {
public:
    static constexpr wchar_t kName[] = L"QV bridge test twin camera";
    TwinCameraEntries() {
        if (FAILED(::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(m_mapper.GetAddressOf()))))
            return;
        REGFILTER2 filter = {};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        m_registered = 0;
        for (const CLSID& twin : kClasses) {
            // No instance name: each is keyed by its class, so the second
            // does not replace the first.
            if (SUCCEEDED(m_mapper->RegisterFilter(twin, kName, nullptr, &CLSID_VideoInputDeviceCategory, nullptr,
                                                   &filter)))
                ++m_registered;
        }
    }
    ~TwinCameraEntries() {
        for (const CLSID& twin : kClasses) m_mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, twin);
    }
    bool Registered() const { return m_registered == 2; }

private:
    static constexpr CLSID kClasses[2] = {
        {0x3b9d27e4, 0x51c0, 0x4f6a, {0x9d, 0x02, 0x7e, 0x41, 0x8a, 0xc3, 0x55, 0x10}},
        {0x3b9d27e4, 0x51c0, 0x4f6a, {0x9d, 0x02, 0x7e, 0x41, 0x8a, 0xc3, 0x55, 0x11}},
    };
    Microsoft::WRL::ComPtr<IFilterMapper2> m_mapper;
    int m_registered = 0;
};

TEST(BridgeFailures, EachHasItsLineAndExitCode) {
    ComScope com;
    BrokenCameraEntry broken;
    ASSERT_TRUE(broken.Registered());
    TwinCameraEntries twins;
    ASSERT_TRUE(twins.Registered());
    const std::string twinsRefused =
        "QvGraph: refused: 2 cameras are named \"QV bridge test twin camera\"; name one of them as "
        "\"QV bridge test twin camera #1\" or \"QV bridge test twin camera #2\"";
    // Webcams that stop delivering without telling the graph: after a
    // second of streaming, and from the start.
    const RgbPicture picture = MakeQuadrantPicture(640, 480);
    Webcam stalling(picture, L"rgb24:640x480", L" --stall-after 1", L"QV bridge test stalling webcam");
    Webcam silent(picture, L"rgb24:640x480", L" --stall-after 0", L"QV bridge test silent webcam");
    ASSERT_EQ("", stalling.Error());
    ASSERT_EQ("", silent.Error());
    const struct {
        std::wstring arguments;
        DWORD exitCode;
        std::string line;
        int stallAfter = -1;  // seconds of streaming; the bridge ends at most limit + 1 s later
        int limitS = 3;       // 10 for a webcam that never gave a first picture
    } cases[] = {
        {L" -v \"Cam\"", kExitUsage, "usage: QvGraph.exe -a \"MICROPHONE\" -v \"CAMERA\""},
        {L" -a \"Mic\" -v \"No such camera\"", kExitCameraNotFound,
         "QvGraph: no camera named \"No such camera\"; cameras found: "},
        {L" -a \"Mic\" -v \"Kavo直播插件\"", kExitOwnCamera,
         "QvGraph: \"Kavo直播插件\" is the virtual camera itself; it cannot feed itself"},
        {L" -a \"Mic\" -v \"" + std::wstring(BrokenCameraEntry::kName) + L"\"", kExitCameraNotOpened,
         "QvGraph: the camera \"QV bridge test broken camera\" cannot be opened: the device does not open (0x"},
        {L" -a \"Mic\" -v \"QV bridge test stalling webcam\"", kExitCameraStalled,
         "QvGraph: camera stalled: \"QV bridge test stalling webcam\" gave no usable picture for 3 s", 1},
        {L" -a \"Mic\" -v \"QV bridge test silent webcam\"", kExitCameraStalled,
         "QvGraph: camera stalled: \"QV bridge test silent webcam\" gave no usable picture for 10 s", 0, 10},
        // A browser's label (name and USB ids) picks the camera of that
        // name: it streams, or fails as that camera does.
        {L" -a \"Mic\" -v \"QV bridge test stalling webcam (1bcf:2284)\"", kExitCameraStalled,
         "QvGraph: camera stalled: \"QV bridge test stalling webcam (1bcf:2284)\" gave no usable picture for 3 s", 1},
        {L" -a \"Mic\" -v \"QV bridge test broken camera (0C45:636b)\"", kExitCameraNotOpened,
         "QvGraph: the camera \"QV bridge test broken camera (0C45:636b)\" cannot be opened: the device does not open (0x"},
        {L" -a \"Mic\" -v \"Kavo直播插件 (1bcf:2284)\"", kExitOwnCamera,
         "QvGraph: \"Kavo直播插件 (1bcf:2284)\" is the virtual camera itself; it cannot feed itself"},
        {L" -a \"Mic\" -v \"QV bridge test broken camera (1bcg:2284)\"", kExitCameraNotFound,
         "QvGraph: no camera named \"QV bridge test broken camera (1bcg:2284)\"; cameras found: "},
        {L" -a \"Mic\" -v \"QV bridge test broken camera(1bcf:2284)\"", kExitCameraNotFound,
         "QvGraph: no camera named \"QV bridge test broken camera(1bcf:2284)\"; cameras found: "},
        // Two cameras of one name: refused, saying how to pick each.
        {L" -a \"Mic\" -v \"QV bridge test twin camera\"", kExitCameraNotFound, twinsRefused},
        {L" -a \"Mic\" -v \"QV bridge test twin camera (1bcf:2284)\"", kExitCameraNotFound, twinsRefused},
        {L" -a \"Mic\" -v \"QV bridge test twin camera #2\"", kExitCameraNotOpened,
         "QvGraph: the camera \"QV bridge test twin camera #2\" cannot be opened: the device does not open (0x"},
        {L" -a \"Mic\" -v \"QV bridge test twin camera #3\"", kExitCameraNotFound,
         "QvGraph: no camera named \"QV bridge test twin camera #3\"; cameras found: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.arguments));
        DWORD exitCode = 0;
        DebuggeeProcess bridge;
        ASSERT_TRUE(bridge.Start(QuoteArgument(TestBinDir() + L"QvGraph.exe") + c.arguments));
        if (c.stallAfter >= 0) {
            // The line the daemon takes the camera's format from, exactly.
            ASSERT_TRUE(bridge.WaitForOutput("QvGraph: delivering RGB24 640x480 30 fps\r\n", kBridgeStartMs))
                << bridge.Output();
            const DWORD delivering = ::GetTickCount();
            const bool ended = bridge.WaitForExit(1000 * (c.stallAfter + c.limitS + 1), &exitCode);
            std::printf("stalled after %d s: the bridge ended %lu ms after its delivering line\n", c.stallAfter,
                        ::GetTickCount() - delivering);
            if (!ended) bridge.Terminate();
            ASSERT_TRUE(ended) << "still running " << c.limitS + 1 << " s after the webcam stalled";
        }
        ASSERT_TRUE(bridge.WaitForExit(kBridgeStartMs, &exitCode));
        EXPECT_EQ(c.exitCode, exitCode);
        ExpectReported(bridge, c.line);
        if (c.line.find("QvGraph: no camera named") == 0) {
            // The devices that are there: our camera and the broken entry.
            EXPECT_NE(std::string::npos, bridge.Output().find("\"Kavo直播插件\"")) << bridge.Output();
            EXPECT_NE(std::string::npos, bridge.Output().find("\"QV bridge test broken camera\"")) << bridge.Output();
        }
    }
}

TEST(BridgeFailures, WithoutTheVirtualCameraRegistered) {
    ASSERT_EQ("", RegisterCameraCopy(false));
    DebuggeeProcess bridge;
    DWORD exitCode = 0;
    const bool started = bridge.Start(BridgeCommandLine(L"Any camera"));
    const bool exited = started && bridge.WaitForExit(kBridgeStartMs, &exitCode);
    if (!exited) bridge.Terminate();
    // Registered again before anything can fail, for the tests after this one.
    ASSERT_EQ("", RegisterCameraCopy(true));
    ASSERT_TRUE(exited) << "QvGraph.exe did not start or did not end";
    EXPECT_EQ(static_cast<DWORD>(kExitVirtualCameraMissing), exitCode);
    ExpectReported(bridge, "QvGraph: the virtual camera \"Kavo直播插件\" is not registered (QvCamera: 0x");
}

TEST_F(BridgeCaptureTest, UnpluggedWebcamEndsTheBridge) {
    Webcam webcam(MakeQuadrantPicture(640, 480), L"rgb24:640x480", L" --lose-after 1");
    ASSERT_EQ("", webcam.Error());
    ASSERT_EQ("", StartBridge(m_bridge));
    DWORD exitCode = 0;
    ASSERT_TRUE(m_bridge.WaitForExit(10000, &exitCode)) << "still running after the webcam was unplugged";
    EXPECT_EQ(static_cast<DWORD>(kExitCameraLost), exitCode);
    ExpectReported(m_bridge, "QvGraph: the camera \"QV bridge test webcam\" was lost: the device was removed");
}

TEST_F(BridgeCaptureTest, KilledWhileWritingTheNextBridgeStillDelivers) {
    const RgbPicture picture = MakeQuadrantPicture(640, 480);
    Webcam webcam(picture, L"rgb24:640x480");
    ASSERT_EQ("", webcam.Error());
    // Killed at a few moments in its stream of writes (30 a second, each a
    // copy of 921,600 bytes under the record's writer lock), one of them
    // likely in the middle of a copy.
    for (DWORD delay : {150u, 310u, 470u, 630u}) {
        DebuggeeProcess bridge;
        ASSERT_EQ("", StartBridge(bridge));
        ::Sleep(delay);
        bridge.Terminate();
    }
    // Its last picture goes stale after 2 s: the camera shows stand-by.
    ASSERT_EQ("", WaitUntilNoFreshFrame());
    const std::vector<uint8_t> standby = FlipRows(StandbyFullPicture(), 1920);
    EXPECT_TRUE(CaptureCamera().bgr == standby) << "not the stand-by picture";
    // The next bridge's pictures arrive, exactly.
    ASSERT_EQ("", StartBridge(m_bridge));
    EXPECT_TRUE(CaptureCamera().bgr == picture.bgr) << "not the webcam's picture";
}

}  // namespace
