// Prints what the camera's frame path costs and how closely its samples keep
// to their release times. Not a test: the figures depend on the machine.
//
//   camera_pacing_benchmark.exe [--seconds N] [--inject]
//
// Costs, each the median of many runs of one call, also as a ratio to a
// plain memcpy of one 640 x 480 frame (921,600 bytes): WriteFrame, and
// FillBuffer at 640 x 480 and at 320 x 240 with a fresh injected frame and
// with the stand-by picture. These run on the pin's own code linked into this
// program, with the pacing wait kept out of the way.
//
// Large frames: the named exchange's write of a 1920 x 1080 NV12 frame and
// FillBuffer at 1920 x 1080 NV12 from a frame of that size, as ratios to one
// memcpy of it, and the scaled fills (other sizes, formats, the stand-by).
//
// Lock waits: how long the frame guard holds up a reader behind a writer's
// copy and a writer behind another writer, and when each gives up on a
// holder that never lets go.
//
// Pacing: the camera (the pin's code linked in, as for the costs) in a real
// graph, its pin connected to a sample grabber with nothing behind it, run
// for N seconds (default 60). Sample n is due n x 66.667 ms - 15 ms after
// the filter's Run (sample 0 at once); lateness is how much later it reached
// the grabber. The millisecond clock the pin sleeps on makes up to about
// 1 ms of it. Printed: median, p99 and max lateness,
// and the drift, the mean lateness of the last five seconds less that of the
// first five. --inject writes frames into the camera at 30 a second from a
// second thread while it runs.
//
// HD pacing: the camera at 1280 x 720 NV12, 30 a second, for up to 20 s:
// the intervals between samples (p50, p99). --host-timer leaves the system
// timer resolution alone, as a capture program that never raises it does
// (otherwise this program raises it to 1 ms for every measurement).
#include <windows.h>
#include <dshow.h>
#include <mmsystem.h>
#include <qedit.h>
#include <uuids.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/filter/frame_exchange.h"
#include "camera/filter/halve_image.h"
#include "camera/filter/output_pin_formats.h"
#include "camera/filter/virtual_camera.h"
#include "camera/filter/virtual_camera_pin.h"
#include "camera/filter/camera_identity.h"
#include "tools/camera_pacing_benchmark/camera_costs.h"
#include "tools/camera_pacing_benchmark/lock_waits.h"

using Microsoft::WRL::ComPtr;

// Whether this program raised the system timer resolution (timeBeginPeriod);
// --host-timer leaves it as the host has it, as a capture program that
// never raises it does.
bool g_raisedResolution = true;

double NowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / ticksPerMs;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Median time of one call, in microseconds.
double MedianMicros(int runs, const std::function<void()>& call) {
    std::vector<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        const double start = NowMs();
        call();
        times.push_back((NowMs() - start) * 1000.0);
    }
    return Percentile(times, 0.5);
}

// The camera made in this process, its code linked in; owner keeps it alive.
CVirtualCamera* CreateCameraInProcess(ComPtr<IUnknown>& owner) {
    HRESULT hr = S_OK;
    CUnknown* object = CVirtualCamera::CreateInstance(nullptr, &hr);
    if (!object || FAILED(hr)) {
        std::printf("error: cannot create the camera in process (0x%08lx)\n", static_cast<unsigned long>(hr));
        return nullptr;
    }
    owner = object->NonDelegatingUnknown();
    return static_cast<CVirtualCamera*>(object);
}

ComPtr<IMediaSample> MakeBenchmarkSample(long bytes, CVirtualCamera* camera, ComPtr<IMemAllocator>& allocator) {
    // Paced against a run long ago, the pin never waits here.
    const DWORD now = ::timeGetTime();
    camera->runStartMs.store(now > 1000000 ? now - 1000000 : 0);
    if (FAILED(::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&allocator)))) {
        std::printf("error: no memory allocator\n");
        return nullptr;
    }
    ALLOCATOR_PROPERTIES wanted = {1, bytes, 1, 0}, actual = {};
    allocator->SetProperties(&wanted, &actual);
    allocator->Commit();
    ComPtr<IMediaSample> sample;
    if (FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0))) std::printf("error: no sample\n");
    return sample;
}

namespace {

constexpr size_t kFrameBytes = 921600;
constexpr CLSID kClsidSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

std::vector<uint8_t> Ramp() {
    std::vector<uint8_t> frame(kFrameBytes);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i + i / 1920) % 251);
    return frame;
}

// Costs

bool MeasureCosts() {
    ComPtr<IUnknown> owner;
    CVirtualCamera* camera = CreateCameraInProcess(owner);
    if (!camera) return false;
    auto* pin = static_cast<CVirtualCamerPin*>(camera->GetPin(0));

    ComPtr<IMemAllocator> allocator;
    ComPtr<IMediaSample> sample = MakeBenchmarkSample(static_cast<long>(kFrameBytes), camera, allocator);
    if (!sample) return false;

    const std::vector<uint8_t> frame = Ramp();
    std::vector<uint8_t> target(kFrameBytes);
    const int runs = 300;
    const double copy = MedianMicros(runs, [&] { std::memcpy(target.data(), frame.data(), kFrameBytes); });
    const double write = MedianMicros(runs, [&] { camera->WriteFrame(frame.data(), static_cast<LONG>(kFrameBytes)); });

    double fill[2][2] = {};  // [size][fresh]
    double slowest = 0;
    for (int size = 0; size < 2; ++size) {
        CMediaType type;
        MakeListedVideoType(size == 0 ? 4 : 2, &type);
        pin->SetMediaType(&type);
        sample->SetActualDataLength(size == 0 ? static_cast<long>(kFrameBytes) : static_cast<long>(kFrameBytes / 4));
        for (int fresh = 0; fresh < 2; ++fresh) {
            if (fresh) {
                camera->WriteFrame(frame.data(), static_cast<LONG>(kFrameBytes));
            } else {
                SharedFrameExchange().writeTick = ::GetTickCount() - 10000;  // stale: stand-by
            }
            pin->FillBuffer(sample.Get());  // first call loads the stand-by picture
            fill[size][fresh] = MedianMicros(runs, [&] {
                const double start = NowMs();
                pin->FillBuffer(sample.Get());
                slowest = std::max(slowest, NowMs() - start);
            });
        }
    }
    sample.Reset();
    allocator->Decommit();

    // Where the time goes: the parts of one FillBuffer.
    const double halve = MedianMicros(runs, [&] { HalveImage(frame.data(), target.data()); });
    const double halvePortable = MedianMicros(runs, [&] { HalveImagePortable(frame.data(), target.data()); });
    const double quarterCopy = MedianMicros(runs, [&] { std::memcpy(target.data(), frame.data(), kFrameBytes / 4); });
    // The guard alone: a reader's take that copies nothing, and the writer
    // lock with one change under it.
    const double guard = MedianMicros(runs, [] {
        TakeFreshFrame(SharedFrameExchange(), SharedFrameGuard(), [](const BYTE*, LONG) {});
    });
    const double writerGuard = MedianMicros(runs, [] {
        CFrameWriterLock lock(SharedFrameGuard(), 100);
        lock.BeginChange();
        lock.EndChange();
    });

    std::printf("copy costs (median of %d calls; ratio to memcpy of one frame)\n", runs);
    std::printf("  memcpy 921,600 bytes            %8.1f us  1.00\n", copy);
    // The record and, for other images of the module, the named exchange: two copies.
    std::printf("  WriteFrame 921,600 bytes        %8.1f us  %.2f  (target 1.5 for the record alone)\n", write, write / copy);
    std::printf("  FillBuffer 640x480, injected    %8.1f us  %.2f  (target 1.5)\n", fill[0][1], fill[0][1] / copy);
    std::printf("  FillBuffer 320x240, injected    %8.1f us  %.2f  (target 1.0)\n", fill[1][1], fill[1][1] / copy);
    std::printf("  FillBuffer 640x480, stand-by    %8.1f us  %.2f\n", fill[0][0], fill[0][0] / copy);
    std::printf("  FillBuffer 320x240, stand-by    %8.1f us  %.2f\n", fill[1][0], fill[1][0] / copy);
    std::printf("  parts: HalveImage %.1f us (%s; portable pass %.1f us), memcpy 230,400 bytes %.1f us,\n"
                "         frame guard as reader %.1f us, as writer %.1f us\n",
                halve, HalveImageUsesShuffles() ? "shuffles" : "portable", halvePortable, quarterCopy, guard,
                writerGuard);
    if (slowest > 30) std::printf("  warning: one FillBuffer took %.1f ms; it may have waited\n", slowest);
    return true;
}

// Pacing

class ArrivalRecorder : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
        const double now = NowMs();
        REFERENCE_TIME start = 0, stop = 0;
        sample->GetTime(&start, &stop);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrivals.push_back({now, start});
        return S_OK;
    }
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

    struct Arrival {
        double ms;
        REFERENCE_TIME start;
    };
    std::vector<Arrival> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrivals;
    }

private:
    std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
};

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    filter->EnumPins(&pins);
    ComPtr<IPin> pin;
    while (pins && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
        pin.Reset();
    }
    return nullptr;
}

bool MeasurePacing(int seconds, bool inject) {
    // The pin's code linked in, so that the filter's own run moment can be
    // read: lateness is counted from it, not from the graph's Run call.
    ComPtr<IUnknown> owner;
    CVirtualCamera* filter = CreateCameraInProcess(owner);
    if (!filter) return false;
    ComPtr<IBaseFilter> camera;
    owner.As(&camera);

    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IMediaControl> control;
    ArrivalRecorder recorder;
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph))) ||
        FAILED(::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabberFilter))) ||
        FAILED(grabberFilter.As(&grabber)) || FAILED(graph.As(&control))) {
        std::printf("error: cannot build the graph\n");
        return false;
    }
    graph->AddFilter(camera.Get(), L"camera");
    graph->AddFilter(grabberFilter.Get(), L"grabber");
    grabber->SetCallback(&recorder, 0);
    if (FAILED(graph->ConnectDirect(PinOf(camera.Get(), PINDIR_OUTPUT).Get(),
                                    PinOf(grabberFilter.Get(), PINDIR_INPUT).Get(), nullptr))) {
        std::printf("error: cannot connect the camera to the grabber\n");
        return false;
    }

    std::atomic<bool> stop{false};
    std::thread producer;
    if (inject) {
        ComPtr<TranslateData_buf> input;
        camera.As(&input);
        producer = std::thread([&stop, input] {
            const std::vector<uint8_t> frame = Ramp();
            while (!stop) {
                input->WriteFrame(frame.data(), static_cast<LONG>(frame.size()));
                ::Sleep(33);
            }
        });
    }

    const double runCall = NowMs();
    control->Run();
    // The run moment in this program's clock: timeGetTime and the
    // performance counter read together, less the time since the run.
    const double runStart = NowMs() - static_cast<double>(::timeGetTime() - filter->runStartMs.load());
    const DWORD runStartMs = filter->runStartMs.load();
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    // How far the pin's millisecond clock and the performance counter part
    // over the run: lateness can drift by that much without any pacing error.
    const double clockParting =
        (NowMs() - runStart) - static_cast<double>(::timeGetTime() - runStartMs);
    control->Stop();
    stop = true;
    if (producer.joinable()) producer.join();
    grabber->SetCallback(nullptr, 0);

    const std::vector<ArrivalRecorder::Arrival> arrivals = recorder.Take();
    std::vector<double> lateness;
    double firstFive = 0, lastFive = 0;
    int firstCount = 0, lastCount = 0;
    int outOfOrder = 0;
    for (size_t n = 0; n < arrivals.size(); ++n) {
        if (arrivals[n].start != static_cast<REFERENCE_TIME>(n) * 666666) ++outOfOrder;
        const double due = n == 0 ? 0.0 : static_cast<double>(n) * 1000.0 / 15.0 - 15.0;
        const double late = arrivals[n].ms - runStart - due;
        lateness.push_back(late);
        if (due < 5000) {
            firstFive += late;
            ++firstCount;
        }
        if (due >= seconds * 1000.0 - 5000) {
            lastFive += late;
            ++lastCount;
        }
    }
    std::printf("pacing over %d s at 15 frames a second%s\n", seconds, inject ? ", frames injected at 30 a second" : "");
    std::printf("  samples %zu (expected about %d), time stamps out of sequence %d\n", arrivals.size(), seconds * 15,
                outOfOrder);
    std::printf("  the filter's Run came %.2f ms after the graph's Run call\n", runStart - runCall);
    std::printf("  lateness median %.2f ms, p99 %.2f ms, max %.2f ms (target p99 < 5 ms)\n",
                Percentile(lateness, 0.5), Percentile(lateness, 0.99), Percentile(lateness, 1.0));
    if (firstCount && lastCount) {
        std::printf("  drift: mean lateness %.2f ms in the first 5 s, %.2f ms in the last 5 s (%+.2f ms)\n",
                    firstFive / firstCount, lastFive / lastCount, lastFive / lastCount - firstFive / firstCount);
    }
    std::printf("  the performance counter ran %+.2f ms against the millisecond clock over the run\n", clockParting);
    return true;
}

// The HD pacing: the camera connected with its first 30-a-second type
// (1280 x 720 NV12) to a sample grabber, the intervals between arrivals.
bool MeasureHdPacing(int seconds) {
    ComPtr<IUnknown> owner;
    CVirtualCamera* filter = CreateCameraInProcess(owner);
    if (!filter) return false;
    ComPtr<IBaseFilter> camera;
    owner.As(&camera);
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IMediaControl> control;
    ArrivalRecorder recorder;
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph))) ||
        FAILED(::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabberFilter))) ||
        FAILED(grabberFilter.As(&grabber)) || FAILED(graph.As(&control))) {
        std::printf("error: cannot build the graph\n");
        return false;
    }
    graph->AddFilter(camera.Get(), L"camera");
    graph->AddFilter(grabberFilter.Get(), L"grabber");
    grabber->SetCallback(&recorder, 0);
    ComPtr<IPin> out = PinOf(camera.Get(), PINDIR_OUTPUT);
    ComPtr<IEnumMediaTypes> types;
    AM_MEDIA_TYPE* type = nullptr;
    bool connected = false;
    if (out && SUCCEEDED(out->EnumMediaTypes(&types))) {
        while (!connected && types->Next(1, &type, nullptr) == S_OK) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
            if (type->formattype == FORMAT_VideoInfo && info && info->AvgTimePerFrame == 333333 &&
                info->bmiHeader.biWidth == 1280 && type->subtype == MEDIASUBTYPE_NV12)
                connected = SUCCEEDED(graph->ConnectDirect(out.Get(), PinOf(grabberFilter.Get(), PINDIR_INPUT).Get(), type));
            if (type->pbFormat) ::CoTaskMemFree(type->pbFormat);
            ::CoTaskMemFree(type);
        }
    }
    if (!connected) {
        std::printf("error: the camera offers no 1280x720 NV12 type at 30 fps the grabber takes\n");
        return false;
    }
    control->Run();
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    control->Stop();
    grabber->SetCallback(nullptr, 0);
    const std::vector<ArrivalRecorder::Arrival> arrivals = recorder.Take();
    std::vector<double> intervals;
    for (size_t n = 1; n < arrivals.size(); ++n) intervals.push_back(arrivals[n].ms - arrivals[n - 1].ms);
    if (intervals.empty()) return false;
    std::printf("HD pacing over %d s at 30 frames a second (1280x720 NV12), timer resolution %s\n", seconds,
                g_raisedResolution ? "raised to 1 ms by this program" : "left as the host has it");
    std::printf("  samples %zu (expected about %d), interval p50 %.2f ms, p99 %.2f ms, max %.2f ms (33.33 due)\n",
                arrivals.size(), seconds * 30, Percentile(intervals, 0.5), Percentile(intervals, 0.99),
                Percentile(intervals, 1.0));
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int seconds = 60;
    bool inject = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(6, _wtoi(argv[++i]));
        } else if (std::wcscmp(argv[i], L"--inject") == 0) {
            inject = true;
        } else if (std::wcscmp(argv[i], L"--host-timer") == 0) {
            g_raisedResolution = false;
        } else {
            std::printf("usage: camera_pacing_benchmark [--seconds N] [--inject] [--host-timer]\n");
            return 1;
        }
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    if (g_raisedResolution) ::timeBeginPeriod(1);
    const bool ok = MeasureCosts() && MeasureLargeFrameCosts() && (MeasureLockWaits(), MeasurePacing(seconds, inject)) &&
                    MeasureHdPacing(std::min(seconds, 20));
    if (g_raisedResolution) ::timeEndPeriod(1);
    ::CoUninitialize();
    std::fflush(stdout);
    return ok ? 0 : 1;
}
