// The device-list text built from the real audio capture category: Wine's
// own capture devices (which cannot be rendered) beside test-only devices
// that run, that refuse to start, that cannot be rendered, or whose filter
// cannot be created.
#include "daemon/devices/audio_device_list.h"
#include "daemon/devices/find_audio_renderer.h"
#include "tests/daemon/devices/test_audio_devices.h"
#include "tests/support/printable_bytes.h"

#include <dshow.h>
#include <uuids.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Code page 936 bytes of the names used below.
const char kMaiKeFengGbk[] = "\xC2\xF3\xBF\xCB\xB7\xE7";  // 麦克风
const char kYiGbk[] = "\xD2\xBB";                          // 一
const char kSanGbk[] = "\xC8\xFD";                         // 三

bool AnsiIs936() { return ::GetACP() == 936; }

// Runs the listing on a thread of its own, as a client session does.
std::string ListOnNewThread() {
    std::string text = "<not set>";
    std::thread([&] { BuildAudioDeviceList(text); }).join();
    return text;
}

// Visits the audio capture devices with their friendly names, read here
// and not through the listing's own helpers, until visit returns false.
HRESULT ForEachCaptureDevice(const std::function<bool(IMoniker*, const std::wstring&)>& visit) {
    ComPtr<ICreateDevEnum> devices;
    HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                    reinterpret_cast<void**>(devices.GetAddressOf()));
    if (FAILED(hr)) return hr;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0) != S_OK) return E_FAIL;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> properties;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                          reinterpret_cast<void**>(properties.GetAddressOf()))))
            continue;
        VARIANT value;
        ::VariantInit(&value);
        bool more = true;
        if (SUCCEEDED(properties->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR)
            more = visit(moniker.Get(), value.bstrVal);
        ::VariantClear(&value);
        if (!more) break;
    }
    return S_OK;
}

std::vector<std::wstring> CategoryNames() {
    std::vector<std::wstring> names;
    ForEachCaptureDevice([&names](IMoniker*, const std::wstring& name) {
        names.push_back(name);
        return true;
    });
    return names;
}

// The test graph of the listing for the device of this name, built by the
// test itself: what its IMediaControl::Run answers.
HRESULT RunTestGraph(const std::wstring& friendlyName) {
    ComPtr<IBaseFilter> capture;
    HRESULT hr = ForEachCaptureDevice([&](IMoniker* moniker, const std::wstring& name) {
        if (name != friendlyName) return true;
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(capture.GetAddressOf()));
        return false;
    });
    if (FAILED(hr)) return hr;
    if (!capture) return E_FAIL;
    ComPtr<IBaseFilter> renderer;
    FindAudioRenderer(renderer);
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    if (!renderer ||
        FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(graph.GetAddressOf()))) ||
        FAILED(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(builder.GetAddressOf()))))
        return E_FAIL;
    builder->SetFiltergraph(graph.Get());
    graph->AddFilter(renderer.Get(), L"Audio Renderers");
    graph->AddFilter(capture.Get(), L"Audio Capture");
    hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, capture.Get(), nullptr, nullptr);
    if (FAILED(hr)) return hr;
    ComPtr<IMediaControl> control;
    hr = graph.As(&control);
    if (FAILED(hr)) return hr;
    hr = control->Run();
    control->Stop();
    return hr;
}

class AudioDeviceListingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RemoveTestAudioLeftovers(); }

    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr))); }
    void TearDown() override {
        m_devices.Unregister();
        ::CoUninitialize();
    }

    void Register(const std::vector<TestAudioDevice>& devices) {
        ASSERT_EQ(m_devices.Register(devices), S_OK);
    }

    TestAudioDevices m_devices;
};

TEST_F(AudioDeviceListingTest, WineCaptureDevicesAreLeftOut) {
    // With the null sound device Wine lists a capture device of its own,
    // whose filter has no pin to render.
    const std::vector<std::wstring> names = CategoryNames();
    ASSERT_FALSE(names.empty()) << "no audio capture device: is HOME's .asoundrc in place?";
    EXPECT_EQ(Printable(ListOnNewThread()), "");
}

TEST_F(AudioDeviceListingTest, TestDevicesAreListedBesideWineOnes) {
    Register({{TestAudioKind::Runs, L"Test microphone"}});
    const std::vector<std::wstring> names = CategoryNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.front(), L"Test microphone");
    // One working device: its name alone, without any "$".
    EXPECT_EQ(Printable(ListOnNewThread()), "Test microphone");
}

TEST_F(AudioDeviceListingTest, DeviceThatCannotBeRenderedIsLeftOut) {
    Register({{TestAudioKind::Runs, L"麦克风 一"},
              {TestAudioKind::Unrenderable, L"麦克风 二"},
              {TestAudioKind::Runs, L"麦克风 三"}});
    const std::string expected = AnsiIs936()
                                     ? std::string(kMaiKeFengGbk) + " " + kYiGbk + "$" + kMaiKeFengGbk + " " + kSanGbk
                                     : std::string("??? ?$??? ?");
    EXPECT_EQ(Printable(ListOnNewThread()), Printable(expected));
}

TEST_F(AudioDeviceListingTest, OnlyDevicesThatCannotBeRenderedGiveAnEmptyText) {
    Register({{TestAudioKind::Unrenderable, L"Broken one"}, {TestAudioKind::Unrenderable, L"Broken two"}});
    EXPECT_EQ(Printable(ListOnNewThread()), "");
}

TEST_F(AudioDeviceListingTest, DeviceRefusingToStartIsListedExactlyWhenItsGraphRunSucceeds) {
    Register({{TestAudioKind::Runs, L"Before"},
              {TestAudioKind::RefusesToStart, L"Refuses"},
              {TestAudioKind::Runs, L"After"}});
    // Wine's graph pauses the connected renderer first, which answers
    // S_FALSE while it waits for data, and then reports that S_FALSE for
    // Run whatever the source answered; elsewhere Run fails.
    const HRESULT run = RunTestGraph(L"Refuses");
    const std::string expected = SUCCEEDED(run) ? "Before$Refuses$After" : "Before$After";
    EXPECT_EQ(ListOnNewThread(), expected) << "the test graph's Run answered 0x" << std::hex << run;
}

TEST_F(AudioDeviceListingTest, SameNameTwiceIsListedTwice) {
    Register({{TestAudioKind::Runs, L"USB Mic"}, {TestAudioKind::Runs, L"USB Mic"}});
    EXPECT_EQ(Printable(ListOnNewThread()), "USB Mic$USB Mic");
}

TEST_F(AudioDeviceListingTest, DollarInANameIsNotEscaped) {
    Register({{TestAudioKind::Runs, L"Line$In"}, {TestAudioKind::Runs, L"Mic"}});
    EXPECT_EQ(Printable(ListOnNewThread()), "Line$In$Mic");
}

TEST_F(AudioDeviceListingTest, CharactersOutsideTheAnsiCodePageBecomeItsDefaultCharacter) {
    // Thai is in neither code page 936 nor 1252.
    Register({{TestAudioKind::Runs, L"Mic \x0E01\x0E02"}});
    EXPECT_EQ(Printable(ListOnNewThread()), "Mic ??");
}

TEST_F(AudioDeviceListingTest, DeviceWhoseFilterCannotBeCreatedEndsTheCollection) {
    Register({{TestAudioKind::Runs, L"First"},
              {TestAudioKind::CannotBind, L"Unbindable"},
              {TestAudioKind::Runs, L"Third"}});
    EXPECT_EQ(Printable(ListOnNewThread()), "First");
}

TEST_F(AudioDeviceListingTest, LongNamesAreCutToTheRoomOfTheirConversion) {
    const std::wstring maiRepeated(150, L'\x9EA6');  // 麦, two bytes in code page 936
    Register({{TestAudioKind::Runs, std::wstring(259, L'b')},
              {TestAudioKind::Runs, std::wstring(300, L'a')},
              {TestAudioKind::Runs, maiRepeated}});
    std::string mai;
    if (AnsiIs936()) {
        // 129 whole characters fit in 259 bytes; half a character is never kept.
        for (int i = 0; i < 129; ++i) mai += "\xC2\xF3";
    } else {
        mai = std::string(150, '?');
    }
    const std::string expected = std::string(259, 'b') + "$" + std::string(259, 'a') + "$" + mai;
    EXPECT_EQ(Printable(ListOnNewThread()), Printable(expected));
}

TEST_F(AudioDeviceListingTest, ListingsFromSeveralThreadsAtOnceAllGiveTheWholeList) {
    Register(
        {{TestAudioKind::Runs, L"Alpha"}, {TestAudioKind::Unrenderable, L"Beta"}, {TestAudioKind::Runs, L"Gamma"}});
    std::vector<std::string> texts(6, "<not set>");
    std::vector<std::thread> threads;
    for (std::string& text : texts) threads.emplace_back([&text] { BuildAudioDeviceList(text); });
    for (std::thread& thread : threads) thread.join();
    // Overlapping listings under Wine would miss devices now and then.
    for (const std::string& text : texts) EXPECT_EQ(text, "Alpha$Gamma");
}

TEST_F(AudioDeviceListingTest, EveryListingTestsTheDevicesAgain) {
    Register({{TestAudioKind::Runs, L"Alpha"}});
    EXPECT_EQ(ListOnNewThread(), "Alpha");
    Register({{TestAudioKind::Runs, L"Alpha"}, {TestAudioKind::Runs, L"Beta"}});
    EXPECT_EQ(ListOnNewThread(), "Alpha$Beta");
    m_devices.Unregister();
    EXPECT_EQ(ListOnNewThread(), "");
}

}  // namespace
