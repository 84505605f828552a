// The demo microphone as capture programs meet it: registered by
// demo_devices.exe, listed by the system device enumerator, bound from its
// moniker with its own settings, and captured in a real graph.
#include "tests/tools/demo_devices/demo_device_graph.h"

#include <gtest/gtest.h>
#include <mmreg.h>
#include <uuids.h>

#include <algorithm>

#include "tests/tools/demo_devices/tone_analysis.h"
#include "tools/demo_devices/common/demo_device_classes.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::wstring kChineseMic = L"演示麦克风 Demo Mic";
const std::wstring kSecondMic = L"第二个麦克风 \"Second\" \\ Mic";
constexpr size_t kBytesPerSecond = 44100 * 4;

void RegisterMic(const std::wstring& name, const std::wstring& tone) {
    std::vector<std::wstring> arguments = {L"register", L"--microphone", name};
    if (!tone.empty()) arguments.insert(arguments.end(), {L"--tone", tone});
    const ProgramResult result = RunDemoTool(arguments);
    ASSERT_EQ(0u, result.exitCode) << result.output;
}

void UnregisterMic(const std::wstring& name) { RunDemoTool({L"unregister", L"--microphone", name}); }

struct Capture {
    std::string error;
    std::vector<RecordedSample> samples;
    std::vector<uint8_t> pcm;
};

// About `seconds` of the device's sound, with every sample's times.
Capture CaptureMic(const std::wstring& name, double seconds, const ALLOCATOR_PROPERTIES* suggestion = nullptr) {
    Capture capture;
    DeviceGraph graph;
    capture.error = graph.Open(CLSID_AudioInputDeviceCategory, name);
    if (!capture.error.empty()) return capture;
    if (suggestion) {
        ComPtr<IAMBufferNegotiation> negotiation;
        HRESULT hr = graph.DevicePin()->QueryInterface(IID_PPV_ARGS(&negotiation));
        if (SUCCEEDED(hr)) hr = negotiation->SuggestAllocatorProperties(suggestion);
        if (FAILED(hr)) capture.error = HrText("IAMBufferNegotiation::SuggestAllocatorProperties", hr);
    }
    if (capture.error.empty()) capture.error = graph.Connect();
    if (capture.error.empty()) capture.error = graph.Run();
    if (!capture.error.empty()) return capture;
    const DWORD begin = ::GetTickCount();
    size_t bytes = 0;
    while (bytes < seconds * kBytesPerSecond && ::GetTickCount() - begin < 20000) {
        ::Sleep(50);
        bytes = 0;
        for (const RecordedSample& sample : graph.Samples()) bytes += sample.data.size();
    }
    graph.Stop();
    capture.samples = graph.Samples();
    for (const RecordedSample& sample : capture.samples)
        capture.pcm.insert(capture.pcm.end(), sample.data.begin(), sample.data.end());
    return capture;
}

// Samples follow each other without gaps from time 0, and none arrives
// before the wall clock has covered it (beyond the timer's granularity);
// the whole capture keeps up with the wall clock.
void ExpectRealTime(const std::vector<RecordedSample>& samples) {
    ASSERT_GE(samples.size(), 2u);
    EXPECT_EQ(0, samples[0].start);
    for (size_t i = 1; i < samples.size(); ++i) {
        ASSERT_EQ(samples[i - 1].stop, samples[i].start) << "gap before sample " << i;
        const LONGLONG coveredMs = (samples[i].stop - samples[0].stop) / 10000;
        const LONGLONG wallMs = static_cast<LONG>(samples[i].arrivalMs - samples[0].arrivalMs);
        EXPECT_GE(wallMs, coveredMs - 20) << "sample " << i << " came early";
    }
    const LONGLONG coveredMs = (samples.back().stop - samples.front().stop) / 10000;
    const LONGLONG wallMs = static_cast<LONG>(samples.back().arrivalMs - samples.front().arrivalMs);
    EXPECT_LT(wallMs, coveredMs * 3 / 2 + 200) << "the capture fell behind the wall clock";
}

class MicrophoneTest : public ::testing::Test {
protected:
    void TearDown() override {
        UnregisterMic(kChineseMic);
        UnregisterMic(kSecondMic);
    }
    ComScope m_com;
};

TEST_F(MicrophoneTest, EachMicrophoneIsListedAndPlaysItsOwnToneInRealTime) {
    RegisterMic(kChineseMic, L"1000");
    RegisterMic(kSecondMic, L"");
    struct Case {
        const std::wstring& name;
        double tone;
    };
    for (const Case& c : {Case{kChineseMic, 1000.0}, Case{kSecondMic, 440.0}}) {
        SCOPED_TRACE(ToUtf8(c.name));
        EXPECT_TRUE(HasDevice(CLSID_AudioInputDeviceCategory, c.name));
        const Capture capture = CaptureMic(c.name, 1.5);
        ASSERT_EQ("", capture.error);
        ASSERT_GE(capture.pcm.size(), kBytesPerSecond);
        EXPECT_NEAR(c.tone, StrongestFrequency(capture.pcm), 1.0);
        // 50 ms a buffer by default.
        EXPECT_EQ(8820u, capture.samples[0].data.size());
        ExpectRealTime(capture.samples);
    }
}

TEST_F(MicrophoneTest, PinOffersWhatCaptureProgramsAskFor) {
    RegisterMic(kChineseMic, L"");
    DeviceGraph graph;
    ASSERT_EQ("", graph.Open(CLSID_AudioInputDeviceCategory, kChineseMic));
    ASSERT_TRUE(IsCapturePin(graph.DevicePin()));

    ComPtr<IAMStreamConfig> config;
    ASSERT_HRESULT_SUCCEEDED(graph.DevicePin()->QueryInterface(IID_PPV_ARGS(&config)));
    int count = 0, size = 0;
    ASSERT_HRESULT_SUCCEEDED(config->GetNumberOfCapabilities(&count, &size));
    ASSERT_EQ(1, count);
    ASSERT_EQ(static_cast<int>(sizeof(AUDIO_STREAM_CONFIG_CAPS)), size);
    AM_MEDIA_TYPE* type = nullptr;
    AUDIO_STREAM_CONFIG_CAPS caps = {};
    ASSERT_EQ(S_OK, config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)));
    ASSERT_TRUE(IsEqualGUID(FORMAT_WaveFormatEx, type->formattype));
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
    EXPECT_EQ(WAVE_FORMAT_PCM, wave->wFormatTag);
    EXPECT_EQ(2, wave->nChannels);
    EXPECT_EQ(44100u, wave->nSamplesPerSec);
    EXPECT_EQ(16, wave->wBitsPerSample);
    EXPECT_EQ(2u, caps.MinimumChannels);
    EXPECT_EQ(2u, caps.MaximumChannels);
    EXPECT_EQ(44100u, caps.MinimumSampleFrequency);
    EXPECT_EQ(44100u, caps.MaximumSampleFrequency);
    AM_MEDIA_TYPE* beyond = nullptr;
    EXPECT_EQ(S_FALSE, config->GetStreamCaps(1, &beyond, reinterpret_cast<BYTE*>(&caps)));
    EXPECT_EQ(nullptr, beyond);
    // The listed format is accepted back, another rate is not.
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_HRESULT_SUCCEEDED(config->GetFormat(&current));
    EXPECT_EQ(S_OK, config->SetFormat(current));
    reinterpret_cast<WAVEFORMATEX*>(current->pbFormat)->nSamplesPerSec = 48000;
    EXPECT_HRESULT_FAILED(config->SetFormat(current));
    for (AM_MEDIA_TYPE* t : {type, current}) {
        ::CoTaskMemFree(t->pbFormat);
        ::CoTaskMemFree(t);
    }
}

TEST_F(MicrophoneTest, SuggestedBufferLengthIsDelivered) {
    RegisterMic(kChineseMic, L"");
    // FFmpeg's audio_buffer_size=10 asks this way: 10 ms, nothing else.
    const ALLOCATOR_PROPERTIES suggestion = {-1, 1764, -1, -1};
    const Capture capture = CaptureMic(kChineseMic, 0.5, &suggestion);
    ASSERT_EQ("", capture.error);
    ASSERT_GE(capture.samples.size(), 10u);
    for (const RecordedSample& sample : capture.samples) ASSERT_EQ(1764u, sample.data.size());
    EXPECT_EQ(100000, capture.samples[0].stop - capture.samples[0].start);
    EXPECT_NEAR(440.0, StrongestFrequency(capture.pcm), 1.0);
}

TEST_F(MicrophoneTest, RegisteringANameAgainReplacesTheDevice) {
    RegisterMic(kChineseMic, L"1000");
    RegisterMic(kChineseMic, L"1500");
    const std::vector<std::wstring> names = DeviceNames(CLSID_AudioInputDeviceCategory);
    EXPECT_EQ(1, std::count(names.begin(), names.end(), kChineseMic));
    const Capture capture = CaptureMic(kChineseMic, 1.0);
    ASSERT_EQ("", capture.error);
    EXPECT_NEAR(1500.0, StrongestFrequency(capture.pcm), 1.0);
}

}  // namespace
