#pragma once
// What the camera pin's tests share: the camera registered in the test
// prefix and taken from the system device enumerator by name, a real
// DirectShow graph with its pin connected directly to a sample grabber (and
// a null renderer), the samples that reach the grabber, the shared frame
// record of the loaded module, the producer process, and the pictures the
// samples must hold.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "camera/filter/frame_exchange.h"
#include "tests/camera/stack_grabber_callback.h"

extern const wchar_t kCameraName[];  // "Kavo直播插件"
constexpr size_t kFullBytes = 921600;
constexpr size_t kHalfBytes = 230400;
constexpr REFERENCE_TIME kSampleTicks = 666666;

// COM on this thread (multithreaded apartment) for the object's life.
class ComScope {
public:
    ComScope() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// Runs a program that inherits no handles to its end; empty when it exited
// with 0, else what went wrong.
std::string RunDetached(const std::wstring& commandLine, DWORD timeoutMs);

// regsvr32 on the module beside the test program; empty on success, else
// what went wrong.
std::string RegisterCamera(bool doRegister);

// The camera filter bound from the video capture device list, or null.
Microsoft::WRL::ComPtr<IBaseFilter> CameraFromDeviceList();
// The camera's first (only) pin.
Microsoft::WRL::ComPtr<IPin> OutputPinOf(IBaseFilter* filter);

struct GrabbedSample {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT timeResult = E_FAIL;
    bool syncPoint = false;
    DWORD arrivalMs = 0;    // timeGetTime when the grabber passed it on
    DWORD arrivalTick = 0;  // GetTickCount, the clock of the frame record
    std::vector<uint8_t> data;  // kept for the latest samples only
};

// The grabber's callback: records every sample in arrival order.
class SampleCollector : public StackGrabberCallback {
public:
    STDMETHODIMP SampleCB(double time, IMediaSample* sample) override;

    size_t Count();
    // Waits until more than `count` samples have arrived.
    bool WaitForCount(size_t count, DWORD timeoutMs);
    // Waits for the first sample (index >= from) whose arrival tick is after
    // `tick`; its index, or -1 on time-out.
    long WaitForSampleAfterTick(DWORD tick, DWORD timeoutMs, size_t from = 0);
    // A copy of sample i (its data empty when no longer kept).
    GrabbedSample At(size_t i);
    std::vector<GrabbedSample> Metadata();

private:
    static constexpr size_t kKeptData = 64;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<GrabbedSample> m_samples;
};

// A filter graph holding the camera and a sample grabber, optionally followed
// by a null renderer, the camera's pin connected to the grabber directly.
class CameraGraph {
public:
    // Empty on success, else what failed.
    std::string Build(bool withRenderer = true);
    // Connects the camera to the grabber (and the grabber to the renderer).
    std::string Connect();

    IGraphBuilder* Graph() { return m_graph.Get(); }
    IMediaControl* Control() { return m_control.Get(); }
    IBaseFilter* Camera() { return m_camera.Get(); }
    IPin* CameraPin() { return m_cameraPin.Get(); }
    IPin* GrabberInput() { return m_grabberIn.Get(); }
    IAMStreamConfig* StreamConfig();
    SampleCollector& Samples() { return m_collector; }
    // The connection's type, as the grabber's input reports it.
    bool ConnectedSize(LONG* width, LONG* height);
    // Stops the graph and waits for the stop to finish.
    HRESULT Stop();
    ~CameraGraph();

private:
    SampleCollector m_collector;
    Microsoft::WRL::ComPtr<IGraphBuilder> m_graph;
    Microsoft::WRL::ComPtr<IMediaControl> m_control;
    Microsoft::WRL::ComPtr<IBaseFilter> m_camera;
    Microsoft::WRL::ComPtr<IBaseFilter> m_grabberFilter;
    Microsoft::WRL::ComPtr<ISampleGrabber> m_grabber;
    Microsoft::WRL::ComPtr<IBaseFilter> m_renderer;
    Microsoft::WRL::ComPtr<IPin> m_cameraPin;
    Microsoft::WRL::ComPtr<IPin> m_grabberIn;
    Microsoft::WRL::ComPtr<IPin> m_grabberOut;
    Microsoft::WRL::ComPtr<IPin> m_rendererIn;
    Microsoft::WRL::ComPtr<IAMStreamConfig> m_config;
};

// The shared frame record of the camera module loaded in this process,
// found through its ".zrcamer" section; null when the module is not loaded.
FrameExchange* LoadedFrameExchange();

// Runs the frame producer with `arguments`; empty on success, else its
// exit code.
std::string RunProducer(const std::wstring& arguments);

// Asks the pin for bottom-up RGB24 at 320 x 240 through IAMStreamConfig, as
// a capture application picking the small size does; E_POINTER without one.
HRESULT SetHalfSizeFormat(IAMStreamConfig* config);

// Pictures.
// The stand-by picture as the tree keeps it (camera/resources/standby.bmp,
// embedded in the test program), its pixels only.
const std::vector<uint8_t>& StandbyFullPicture();
std::vector<uint8_t> HalvedPicture(const std::vector<uint8_t>& full);
// What the producer's "ramp" pattern writes: byte i is (i + i / 1920) mod 251.
std::vector<uint8_t> RampPicture(size_t bytes);

// "first difference at byte n (a vs b)" or "equal", for failure messages.
std::string FirstDifference(const uint8_t* actual, const uint8_t* expected, size_t bytes);
