// The camera list of the WebSocket sessions: the video capture devices as
// DirectShow lists them (the demo webcam registered here), each with its
// formats, our own virtual camera left out by its class whatever its name,
// and a device that arrives noticed by the shared listing.
#include "camera/filter/camera_identity.h"
#include "daemon/devices/enum_video_capture_devices.h"
#include "daemon/devices/shared_camera_listing.h"
#include "daemon/devices/virtual_camera_class.h"
#include "daemon/web/devices_message.h"
#include "tests/tools/demo_devices/demo_device_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kWebcam[] = L"QV 摄像头 listing test webcam";
const wchar_t kArriving[] = L"QV listing test webcam that arrives";
const wchar_t kRenamedOwnCamera[] = L"QV listing test renamed virtual camera";

std::string Show(const std::vector<CameraFormat>& formats) {
    std::string text;
    for (const CameraFormat& f : formats) {
        char line[96];
        std::snprintf(line, sizeof(line), "%ls %dx%d@%.2f; ", f.pixelFormat.c_str(), f.width, f.height, f.maxFrameRate);
        text += line;
    }
    return text;
}

const CameraEntry* Find(const std::vector<CameraEntry>& cameras, const std::wstring& name) {
    auto it = std::find_if(cameras.begin(), cameras.end(), [&](const CameraEntry& c) { return c.name == name; });
    return it == cameras.end() ? nullptr : &*it;
}

// An entry of our virtual camera's class under a name of its own, as a
// copy of the camera registered by another installer would be.
class RenamedOwnCamera {
public:
    RenamedOwnCamera() {
        if (FAILED(::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(m_mapper.GetAddressOf()))))
            return;
        REGFILTER2 filter = {};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        m_registered = SUCCEEDED(m_mapper->RegisterFilter(kVirtualCameraClass, kRenamedOwnCamera, nullptr,
                                                          &CLSID_VideoInputDeviceCategory, kRenamedOwnCamera, &filter));
    }
    ~RenamedOwnCamera() {
        if (m_registered)
            m_mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kRenamedOwnCamera, kVirtualCameraClass);
    }
    bool Registered() const { return m_registered; }

private:
    ComPtr<IFilterMapper2> m_mapper;
    bool m_registered = false;
};

TEST(CameraListing, DaemonKnowsTheCamerasClass) { EXPECT_TRUE(kVirtualCameraClass == CLSID_VirtualCamera); }

TEST(CameraListing, ListsWebcamsWithTheirFormatsAndNotOurCamera) {
    ComScope com;
    ASSERT_EQ(0u, RunDemoTool({L"register", L"--webcam", kWebcam, L"--formats", L"yuy2:640x480,mjpg:1280x720,rgb24:320x240"})
                      .exitCode);
    RenamedOwnCamera renamed;
    ASSERT_TRUE(renamed.Registered());
    ASSERT_TRUE(HasDevice(CLSID_VideoInputDeviceCategory, kRenamedOwnCamera)) << "DirectShow does not list the entry";
    std::vector<CameraEntry> cameras;
    const HRESULT hr = EnumVideoCaptureDevices(cameras);
    RunDemoTool({L"unregister", L"--webcam", kWebcam});
    ASSERT_EQ(S_OK, hr);
    const CameraEntry* webcam = Find(cameras, kWebcam);
    ASSERT_NE(nullptr, webcam);
    const std::vector<CameraFormat> expected = {
        {L"MJPG", 1280, 720, 30}, {L"YUY2", 640, 480, 30}, {L"RGB24", 320, 240, 30}};
    EXPECT_EQ(Show(expected), Show(webcam->formats));
    EXPECT_EQ(nullptr, Find(cameras, kRenamedOwnCamera)) << "a device of our camera's class is listed";
    EXPECT_EQ(nullptr, Find(cameras, kCameraFriendlyName)) << "our camera is listed";
}

TEST(CameraListing, FormatsMergeToTheHighestRateLargestFirst) {
    const std::vector<CameraFormat> offered = {
        {L"YUY2", 640, 480, 30},   {L"YUY2", 1920, 1080, 5}, {L"YUY2", 640, 480, 15},
        {L"MJPG", 1920, 1080, 30}, {L"MJPG", 1920, 1080, 15}, {L"YUY2", 1280, 720, 10},
    };
    const std::vector<CameraFormat> expected = {
        {L"YUY2", 1920, 1080, 5}, {L"MJPG", 1920, 1080, 30}, {L"YUY2", 1280, 720, 10}, {L"YUY2", 640, 480, 30}};
    EXPECT_EQ(Show(expected), Show(MergeCameraFormats(offered)));
    std::vector<CameraFormat> many;
    for (int i = 1; i <= 100; ++i) many.push_back({L"NV12", 16 * i, 16 * i, 30});
    const std::vector<CameraFormat> merged = MergeCameraFormats(many);
    ASSERT_EQ(kCameraFormatsMax, merged.size());
    EXPECT_EQ(1600, merged.front().width) << "the largest are kept";
}

TEST(CameraListing, MessageCarriesNamesAsJsonStrings) {
    const struct {
        std::vector<CameraEntry> cameras;
        std::vector<std::wstring> microphones;
        const char* json;
    } cases[] = {
        {{}, {}, R"({"type":"devices","cameras":[],"microphones":[]})"},
        {{{L"HD USB Camera", {{L"MJPG", 1920, 1080, 30}, {L"YUY2", 640, 480, 29.97}}}, {L"无格式", {}}},
         {L"麦克风 \"USB\"", L"Mic\\1"},
         "{\"type\":\"devices\",\"cameras\":[{\"name\":\"HD USB Camera\",\"formats\":[{\"pixelFormat\":\"MJPG\","
         "\"width\":1920,\"height\":1080,\"maxFrameRate\":30},{\"pixelFormat\":\"YUY2\",\"width\":640,\"height\":480,"
         "\"maxFrameRate\":29.97}]},{\"name\":\"\xE6\x97\xA0\xE6\xA0\xBC\xE5\xBC\x8F\",\"formats\":[]}],"
         "\"microphones\":[\"\xE9\xBA\xA6\xE5\x85\x8B\xE9\xA3\x8E \\\"USB\\\"\",\"Mic\\\\1\"]}"},
        {{{L"Tab\there", {{L"NV12", 2, 2, 0}}}}, {L"\x01"},
         "{\"type\":\"devices\",\"cameras\":[{\"name\":\"Tab\\u0009here\",\"formats\":[{\"pixelFormat\":\"NV12\","
         "\"width\":2,\"height\":2,\"maxFrameRate\":0}]}],\"microphones\":[\"\\u0001\"]}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.json, DevicesJson(c.cameras, c.microphones));
}

// Waits until the listing has (or no longer has) the webcam, taking a new
// list at each change it announces; the ms that took, or -1 after 20 s.
long WaitUntilListed(SharedCameraListing& listing, const std::wstring& name, bool listed) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 20000) {
        const uint64_t seen = listing.Version();
        if ((Find(listing.Cameras(), name) != nullptr) == listed) return static_cast<long>(::GetTickCount() - start);
        listing.WaitForChange(seen, 20000 - (::GetTickCount() - start));
    }
    return -1;
}

// A webcam registered while a session watches, then removed: the shared
// listing announces a change and lists it, then no longer (through the
// registry's change notice, WM_DEVICECHANGE or the re-listing timer,
// whichever comes first; the times say which).
TEST(CameraListing, ArrivingAndLeavingWebcamIsNoticed) {
    ComScope com;
    RunDemoTool({L"unregister", L"--webcam", kArriving});
    SharedCameraListing& listing = TheCameraListing();
    listing.Subscribe();
    ASSERT_EQ(nullptr, Find(listing.Cameras(), kArriving));
    ASSERT_EQ(0u, RunDemoTool({L"register", L"--webcam", kArriving}).exitCode);
    const long arrived = WaitUntilListed(listing, kArriving, true);
    RunDemoTool({L"unregister", L"--webcam", kArriving});
    const long left = WaitUntilListed(listing, kArriving, false);
    listing.Unsubscribe();
    std::printf("a registered webcam was listed %ld ms after its registration ended, gone %ld ms after its removal\n",
                arrived, left);
    EXPECT_GE(arrived, 0) << "not listed within 20 s";
    EXPECT_GE(left, 0) << "still listed 20 s after its removal";
}

}  // namespace
