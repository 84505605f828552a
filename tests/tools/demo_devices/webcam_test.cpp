// The demo webcam as capture programs meet it: registered by
// demo_devices.exe with a picture and formats of its own, listed by the
// system device enumerator, and captured in a real graph in each format.
#include "tests/tools/demo_devices/demo_device_graph.h"

#include <gtest/gtest.h>
#include <uuids.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tests/tools/demo_devices/expected_frames.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::wstring kPictureCam = L"演示摄像头 Demo Cam";
const std::wstring kCardCam = L"第二个摄像头 Test Card";
const wchar_t kPictureFormats[] = L"rgb24:320x240,rgb32:160x120,yuy2:640x480,nv12:320x240,yuy2:1280x720";

std::wstring TempBmp() {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"qv_demo_webcam_" + std::to_wstring(::GetCurrentProcessId()) + L".bmp";
}

class WebcamTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_picture = NoisyPicture(320, 240);
        ASSERT_TRUE(WriteBmp(m_picture, m_bmp));
    }
    void TearDown() override {
        for (const std::wstring& name : {kPictureCam, kCardCam}) RunDemoTool({L"unregister", L"--webcam", name});
        ::DeleteFileW(m_bmp.c_str());
    }
    void Register(const std::vector<std::wstring>& arguments) {
        std::vector<std::wstring> line = {L"register", L"--webcam"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        const ProgramResult result = RunDemoTool(line);
        ASSERT_EQ(0u, result.exitCode) << result.output;
    }

    ComScope m_com;
    TestPicture m_picture;
    const std::wstring m_bmp = TempBmp();
};

TEST_F(WebcamTest, EachFormatShowsThePictureAtItsSize) {
    Register({kPictureCam, L"--picture", m_bmp, L"--formats", kPictureFormats});
    EXPECT_TRUE(HasDevice(CLSID_VideoInputDeviceCategory, kPictureCam));
    int count = 0;
    {
        DeviceGraph probe;
        ASSERT_EQ("", probe.Open(CLSID_VideoInputDeviceCategory, kPictureCam));
        ASSERT_TRUE(IsCapturePin(probe.DevicePin()));
        ComPtr<IAMStreamConfig> config;
        ASSERT_HRESULT_SUCCEEDED(probe.DevicePin()->QueryInterface(IID_PPV_ARGS(&config)));
        int size = 0;
        ASSERT_HRESULT_SUCCEEDED(config->GetNumberOfCapabilities(&count, &size));
        ASSERT_EQ(5, count);
    }
    for (int i = 0; i < count; ++i) {
        DeviceGraph graph;
        graph.KeepDataOf(3);
        ASSERT_EQ("", graph.Open(CLSID_VideoInputDeviceCategory, kPictureCam));
        ComPtr<IAMStreamConfig> config;
        ASSERT_HRESULT_SUCCEEDED(graph.DevicePin()->QueryInterface(IID_PPV_ARGS(&config)));
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        ASSERT_EQ(S_OK, config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)));
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        const LONG width = info->bmiHeader.biWidth, height = info->bmiHeader.biHeight;
        const GUID subtype = type->subtype;
        SCOPED_TRACE("format " + std::to_string(i) + ": " + std::to_string(width) + "x" + std::to_string(height));
        EXPECT_EQ(333333, info->AvgTimePerFrame);
        EXPECT_EQ(width, caps.MaxOutputSize.cx);
        EXPECT_EQ(333333, caps.MinFrameInterval);
        ASSERT_EQ("", graph.Connect(type));
        ::CoTaskMemFree(type->pbFormat);
        ::CoTaskMemFree(type);
        AM_MEDIA_TYPE connected = {};
        ASSERT_TRUE(graph.ConnectionType(&connected));
        EXPECT_TRUE(IsEqualGUID(subtype, connected.subtype)) << "the connection did not take the format set";
        ::CoTaskMemFree(connected.pbFormat);

        ASSERT_EQ("", graph.Run());
        ASSERT_TRUE(graph.WaitForSamples(3, 10000));
        graph.Stop();
        const std::vector<uint8_t> expected = ExpectedFrame(Scaled(m_picture, width, height), subtype);
        const std::vector<RecordedSample> samples = graph.Samples();
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(static_cast<REFERENCE_TIME>(k * 10000000 / 30), samples[k].start);
            ASSERT_EQ(expected.size(), samples[k].data.size());
            EXPECT_TRUE(samples[k].data == expected) << "frame " << k << " is not the picture";
        }
    }
}

TEST_F(WebcamTest, TestCardMarkerMovesAtThirtyFramesASecond) {
    Register({kCardCam});
    DeviceGraph graph;
    graph.KeepDataOf(31);
    ASSERT_EQ("", graph.Open(CLSID_VideoInputDeviceCategory, kCardCam));
    ASSERT_EQ("", graph.Connect());
    AM_MEDIA_TYPE connected = {};
    ASSERT_TRUE(graph.ConnectionType(&connected));
    // The default list starts with YUY2 640 x 480.
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_YUY2, connected.subtype));
    ::CoTaskMemFree(connected.pbFormat);
    ASSERT_EQ("", graph.Run());
    ASSERT_TRUE(graph.WaitForSamples(31, 10000));
    graph.Stop();
    const std::vector<RecordedSample> samples = graph.Samples();
    const size_t rowBytes = 640 * 2, barRows = 480 * 2 / 3;
    ASSERT_EQ(rowBytes * 480, samples[0].data.size());
    EXPECT_EQ(0, std::memcmp(samples[0].data.data(), samples[30].data.data(), rowBytes * barRows))
        << "the colour bars changed";
    EXPECT_NE(samples[0].data, samples[1].data) << "the marker did not move";
    // 30 frames take a second of wall clock, not much less and not much more.
    const LONG spanMs = static_cast<LONG>(samples[30].arrivalMs - samples[0].arrivalMs);
    EXPECT_GE(spanMs, 950);
    EXPECT_LE(spanMs, 1600);
    EXPECT_EQ(10000000, samples[30].start);
}

// Each format at its own rate, as a real webcam offers large uncompressed
// formats slowly: the capabilities and the media types say so, and the
// samples come at that rate by the wall clock.
TEST_F(WebcamTest, EachFormatHasItsOwnRate) {
    Register({kCardCam, L"--formats", L"yuy2:64x48@5,mjpg:64x48,rgb24:64x48@30.03,nv12:64x48@240"});
    DeviceGraph graph;
    graph.KeepDataOf(7);
    ASSERT_EQ("", graph.Open(CLSID_VideoInputDeviceCategory, kCardCam));
    ComPtr<IAMStreamConfig> config;
    ASSERT_HRESULT_SUCCEEDED(graph.DevicePin()->QueryInterface(IID_PPV_ARGS(&config)));
    const REFERENCE_TIME intervals[] = {2000000, 333333, 333000, 41666};
    for (int i = 0; i < 4; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        ASSERT_HRESULT_SUCCEEDED(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)));
        EXPECT_EQ(intervals[i], caps.MinFrameInterval) << "format " << i;
        EXPECT_EQ(intervals[i], caps.MaxFrameInterval) << "format " << i;
        EXPECT_EQ(intervals[i], reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->AvgTimePerFrame) << "format " << i;
        ::CoTaskMemFree(type->pbFormat);
        ::CoTaskMemFree(type);
    }
    ASSERT_EQ("", graph.Connect());
    ASSERT_EQ("", graph.Run());
    ASSERT_TRUE(graph.WaitForSamples(6, 10000));
    graph.Stop();
    const std::vector<RecordedSample> samples = graph.Samples();
    // Five frames at 5 a second take a second of wall clock.
    EXPECT_EQ(10000000, samples[5].start);
    const LONG spanMs = static_cast<LONG>(samples[5].arrivalMs - samples[0].arrivalMs);
    std::printf("5 frames of the 5 fps format took %ld ms\n", spanMs);
    EXPECT_GE(spanMs, 950);
    EXPECT_LE(spanMs, 1600);
}

TEST_F(WebcamTest, RegisteringANameAgainReplacesItAndUnregisterRemovesIt) {
    Register({kPictureCam, L"--picture", m_bmp});
    Register({kCardCam});
    Register({kPictureCam, L"--formats", L"rgb32:64x48"});
    const std::vector<std::wstring> names = DeviceNames(CLSID_VideoInputDeviceCategory);
    EXPECT_EQ(1, std::count(names.begin(), names.end(), kPictureCam));
    {
        DeviceGraph graph;
        ASSERT_EQ("", graph.Open(CLSID_VideoInputDeviceCategory, kPictureCam));
        ComPtr<IAMStreamConfig> config;
        ASSERT_HRESULT_SUCCEEDED(graph.DevicePin()->QueryInterface(IID_PPV_ARGS(&config)));
        int count = 0, size = 0;
        ASSERT_HRESULT_SUCCEEDED(config->GetNumberOfCapabilities(&count, &size));
        EXPECT_EQ(1, count);
    }
    for (const std::wstring& name : {kPictureCam, kCardCam}) {
        EXPECT_EQ(0u, RunDemoTool({L"unregister", L"--webcam", name}).exitCode);
        EXPECT_FALSE(HasDevice(CLSID_VideoInputDeviceCategory, name));
    }
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                             L"Software\\Classes\\CLSID\\{6132286D-75D5-4FBA-B186-B5EB5F392337}", 0,
                                             KEY_READ, &key))
        << "the webcam class outlived its last device";
}

TEST_F(WebcamTest, UnreadablePictureOrBadFormatsAreRefused) {
    struct Case {
        std::vector<std::wstring> arguments;
        DWORD exitCode;
    };
    const Case cases[] = {
        {{kPictureCam, L"--picture", m_bmp + L".missing"}, 1},
        {{kPictureCam, L"--formats", L"yuy2:641x480"}, 2},
        {{kPictureCam, L"--formats", L"nv12:640x479"}, 2},
        {{kPictureCam, L"--formats", L"h264:640x480"}, 2},
        {{kPictureCam, L"--formats", L"rgb24:640x480,rgb24:640x480"}, 2},
        {{kPictureCam, L"--formats", L"rgb24:0x480"}, 2},
        {{kPictureCam, L"--formats", L"yuy2:640x480@0"}, 2},
        {{kPictureCam, L"--formats", L"yuy2:640x480@240.01"}, 2},
        {{kPictureCam, L"--formats", L"yuy2:640x480@30.031"}, 2},
        {{kPictureCam, L"--formats", L"yuy2:640x480@"}, 2},
        {{kPictureCam, L"--formats", L"yuy2:640x480@30."}, 2},
        {{kPictureCam, L"--formats", L"yuy2:640x480@fast"}, 2},
        {{kPictureCam, L"--tone", L"440"}, 2},
        {{kPictureCam, L"--lose-after", L"0"}, 2},
        {{kPictureCam, L"--lose-after", L"-3"}, 2},
        {{kPictureCam, L"--lose-after", L"1e3"}, 2},
        {{kPictureCam, L"--stall-after", L"-1"}, 2},
        {{kPictureCam, L"--stall-after", L"86401"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> line = {L"register", L"--webcam"};
        line.insert(line.end(), c.arguments.begin(), c.arguments.end());
        SCOPED_TRACE(ToUtf8(c.arguments.back()));
        const ProgramResult result = RunDemoTool(line);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.output;
        EXPECT_EQ(0u, result.output.find("demo_devices: ")) << result.output;
    }
    EXPECT_FALSE(HasDevice(CLSID_VideoInputDeviceCategory, kPictureCam));
}

}  // namespace
