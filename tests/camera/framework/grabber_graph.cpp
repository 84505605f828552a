#include "tests/camera/framework/grabber_graph.h"

#include <cstring>

using Microsoft::WRL::ComPtr;

const CLSID kClsidSampleGrabber = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID kClsidNullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

STDMETHODIMP SampleRecorder::SampleCB(double, IMediaSample* sample) {
    SeenSample seen = {};
    BYTE* data = nullptr;
    seen.length = sample->GetActualDataLength();
    seen.thread = GetCurrentThreadId();
    if (SUCCEEDED(sample->GetPointer(&data)) && seen.length >= 4) {
        std::memcpy(&seen.counter, data, 4);
        seen.patternIntact = true;
        for (long i = 0; i < seen.length; ++i) {
            if (data[i] != TestPatternByte(seen.counter, static_cast<size_t>(i))) {
                seen.patternIntact = false;
                break;
            }
        }
    }
    sample->GetTime(&seen.start, &seen.stop);
    std::lock_guard<std::mutex> guard(m_lock);
    m_samples.push_back(seen);
    return S_OK;
}

std::vector<SeenSample> SampleRecorder::Samples() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_samples;
}

size_t SampleRecorder::Count() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_samples.size();
}

void SampleRecorder::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_samples.clear();
}

bool SampleRecorder::WaitFor(size_t count, DWORD timeoutMs) {
    const DWORD begin = GetTickCount();
    while (Count() < count) {
        if (GetTickCount() - begin > timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION actual;
        if (SUCCEEDED(pin->QueryDirection(&actual)) && actual == direction) return pin;
    }
    return nullptr;
}

GrabberGraph::GrabberGraph() { m_buildResult = Build(); }

GrabberGraph::~GrabberGraph() {
    if (control) control->Stop();
    if (grabber) grabber->SetCallback(nullptr, 0);
}

HRESULT GrabberGraph::Build() {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (FAILED(hr)) return hr;
    graph.As(&control);
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()));
    if (!control || !events) return E_NOINTERFACE;
    filter = CFrameworkTestSource::Create(nullptr);
    if (!filter) return E_OUTOFMEMORY;
    hr = filter->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(source.GetAddressOf()));
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabberFilter));
    if (FAILED(hr)) return hr;
    hr = grabberFilter.As(&grabber);
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&renderer));
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph->AddFilter(source.Get(), L"Source"))) return hr;
    if (FAILED(hr = graph->AddFilter(grabberFilter.Get(), L"Grabber"))) return hr;
    if (FAILED(hr = graph->AddFilter(renderer.Get(), L"Renderer"))) return hr;
    grabber->SetBufferSamples(FALSE);
    grabber->SetOneShot(FALSE);
    grabber->SetCallback(&recorder, 0);
    sourceOut = FindPinByDirection(source.Get(), PINDIR_OUTPUT);
    grabberIn = FindPinByDirection(grabberFilter.Get(), PINDIR_INPUT);
    grabberOut = FindPinByDirection(grabberFilter.Get(), PINDIR_OUTPUT);
    rendererIn = FindPinByDirection(renderer.Get(), PINDIR_INPUT);
    if (!sourceOut || !grabberIn || !grabberOut || !rendererIn) return E_NOINTERFACE;
    if (FAILED(hr = graph->ConnectDirect(sourceOut.Get(), grabberIn.Get(), nullptr))) return hr;
    return graph->ConnectDirect(grabberOut.Get(), rendererIn.Get(), nullptr);
}

bool GrabberGraph::WaitForEvent(long code, DWORD timeoutMs, LONG_PTR* param1, LONG_PTR* param2) {
    // Wine's GetEvent does not wait; its event handle does.
    OAEVENT handle = 0;
    if (FAILED(events->GetEventHandle(&handle))) return false;
    const DWORD begin = GetTickCount();
    for (;;) {
        long got = 0;
        LONG_PTR p1 = 0, p2 = 0;
        HRESULT hr = events->GetEvent(&got, &p1, &p2, 0);
        if (hr == S_OK) {
            events->FreeEventParams(got, p1, p2);
            if (got == code) {
                if (param1) *param1 = p1;
                if (param2) *param2 = p2;
                return true;
            }
            continue;
        }
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= timeoutMs) return false;
        WaitForSingleObject(reinterpret_cast<HANDLE>(handle), timeoutMs - elapsed);
    }
}

HRESULT GrabberGraph::RunAndWait() {
    HRESULT hr = control->Run();
    if (FAILED(hr)) return hr;
    OAFilterState state;
    return control->GetState(5000, &state);
}

HRESULT GrabberGraph::PauseAndWait() {
    HRESULT hr = control->Pause();
    if (FAILED(hr)) return hr;
    OAFilterState state;
    return control->GetState(5000, &state);
}
