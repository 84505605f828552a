#include "camera/framework/base_filter.h"

#include "camera/framework/base_pin.h"
#include "camera/framework/enum_pins.h"

#include <cwchar>
#include <new>

using Microsoft::WRL::ComPtr;

CBaseFilter::CBaseFilter(IUnknown* outer, REFCLSID clsid) : CUnknown(outer), m_clsid(clsid) {}

CBaseFilter::CBaseFilter(LPCWSTR, IUnknown* outer, REFCLSID clsid) : CBaseFilter(outer, clsid) {}

CBaseFilter::~CBaseFilter() = default;

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter) || IsEqualIID(iid, IID_IPersist)) {
        return GetInterface(static_cast<IBaseFilter*>(this), out);
    }
    if (IsEqualIID(iid, IID_IAMovieSetup)) return GetInterface(static_cast<IAMovieSetup*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& time) {
    CAutoLock lock(&m_stateLock);
    if (!m_clock) return VFW_E_NO_CLOCK;
    // GetTime's S_FALSE only says the clock has not moved since its last answer.
    HRESULT hr = m_clock->GetTime(&time);
    if (FAILED(hr)) return hr;
    time -= m_start;
    return S_OK;
}

LONG CBaseFilter::GetPinVersion() { return InterlockedCompareExchange(&m_pinVersion, 0, 0); }

const AMOVIESETUP_FILTER* CBaseFilter::GetSetupData() { return nullptr; }

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
    CAutoLock lock(&m_stateLock);
    HRESULT first = S_OK;
    if (m_state != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected()) continue;
            HRESULT hr = pin->Inactive();
            if (FAILED(hr) && SUCCEEDED(first)) first = hr;
        }
    }
    m_state = State_Stopped;
    return first;
}

STDMETHODIMP CBaseFilter::Pause() {
    CAutoLock lock(&m_stateLock);
    if (m_state == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected()) continue;
            HRESULT hr = pin->Active();
            if (FAILED(hr)) {
                // Still stopped: nothing may stay active that Stop would not end.
                for (int j = 0; j < i; ++j) {
                    CBasePin* started = GetPin(j);
                    if (started && started->IsConnected()) started->Inactive();
                }
                return hr;
            }
        }
    }
    m_state = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start) {
    CAutoLock lock(&m_stateLock);
    m_start = start;
    if (m_state == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_state != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected()) continue;
            HRESULT hr = pin->Run(start);
            if (FAILED(hr)) return hr;
        }
    }
    m_state = State_Running;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = m_state;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    CAutoLock lock(&m_stateLock);
    m_clock = clock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CAutoLock lock(&m_stateLock);
    *clock = m_clock.Get();
    if (*clock) (*clock)->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    *pins = nullptr;
    auto* enumerator = new (std::nothrow) CEnumPins(this, 0, GetPinVersion());
    if (!enumerator) return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(pins));
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    CAutoLock lock(&m_stateLock);
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* candidate = GetPin(i);
        if (candidate && candidate->Name() == id) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    CAutoLock lock(&m_stateLock);
    size_t length = m_name.size() < MAX_FILTER_NAME - 1 ? m_name.size() : MAX_FILTER_NAME - 1;
    wmemcpy(info->achName, m_name.c_str(), length);
    info->achName[length] = L'\0';
    info->pGraph = m_graph;
    if (m_graph) m_graph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CAutoLock lock(&m_stateLock);
    m_graph = graph;
    m_eventSink = nullptr;
    if (graph) {
        // Held without a reference: the graph holds the filter, and a counted
        // pointer back would keep both alive forever.
        ComPtr<IMediaEventSink> sink;
        if (SUCCEEDED(graph->QueryInterface(IID_PPV_ARGS(&sink)))) m_eventSink = sink.Get();
    }
    m_name = (graph && name) ? name : L"";
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

STDMETHODIMP CBaseFilter::Register() {
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    if (!setup) return S_FALSE;
    return RegisterFilterSetup(*setup, true);
}

STDMETHODIMP CBaseFilter::Unregister() {
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    if (!setup) return S_FALSE;
    return RegisterFilterSetup(*setup, false);
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = m_eventSink;
    if (!sink) return E_NOTIMPL;
    // The graph counts completions per filter; it needs to know which one.
    if (code == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(code, param1, param2);
}
