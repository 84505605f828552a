#pragma once
// A real filter graph around a framework test source: the source's pin
// connected directly to a sample grabber, the grabber to a null renderer.
// The grabber's callback records every sample it sees.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <mutex>
#include <vector>

#include "tests/camera/stack_grabber_callback.h"
#include "tests/camera/framework/test_source_filter.h"

// Declared by no mingw header (the import library has its own copies).
extern const CLSID kClsidSampleGrabber;
extern const CLSID kClsidNullRenderer;

struct SeenSample {
    DWORD counter;       // from the first four bytes
    long length;         // actual data length
    bool patternIntact;  // every byte as the source wrote it
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
    DWORD thread;
};

class SampleRecorder : public StackGrabberCallback {
public:
    STDMETHODIMP SampleCB(double time, IMediaSample* sample) override;

    std::vector<SeenSample> Samples();
    size_t Count();
    void Clear();
    // Waits (polling, bounded) until at least `count` samples were seen.
    bool WaitFor(size_t count, DWORD timeoutMs);

private:
    std::mutex m_lock;
    std::vector<SeenSample> m_samples;
};

class GrabberGraph {
public:
    // Builds the graph and connects it; `ok()` tells whether that worked.
    GrabberGraph();
    ~GrabberGraph();

    HRESULT build_result() const { return m_buildResult; }
    bool ok() const { return SUCCEEDED(m_buildResult); }

    // Waits for an event of `code`; true with its parameters when it came.
    bool WaitForEvent(long code, DWORD timeoutMs, LONG_PTR* param1 = nullptr, LONG_PTR* param2 = nullptr);
    // Runs and waits until the graph reports running.
    HRESULT RunAndWait();
    HRESULT PauseAndWait();

    Microsoft::WRL::ComPtr<IGraphBuilder> graph;
    Microsoft::WRL::ComPtr<IMediaControl> control;
    Microsoft::WRL::ComPtr<IMediaEvent> events;
    Microsoft::WRL::ComPtr<IBaseFilter> source;
    Microsoft::WRL::ComPtr<IBaseFilter> grabberFilter;
    Microsoft::WRL::ComPtr<ISampleGrabber> grabber;
    Microsoft::WRL::ComPtr<IBaseFilter> renderer;
    Microsoft::WRL::ComPtr<IPin> sourceOut;
    Microsoft::WRL::ComPtr<IPin> grabberIn;
    Microsoft::WRL::ComPtr<IPin> grabberOut;
    Microsoft::WRL::ComPtr<IPin> rendererIn;
    CFrameworkTestSource* filter = nullptr;  // owned by `source`
    SampleRecorder recorder;

private:
    HRESULT Build();
    HRESULT m_buildResult;
};

// The first pin of `filter` in `direction`.
Microsoft::WRL::ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);
