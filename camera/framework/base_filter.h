#pragma once
// IBaseFilter for filters whose pins are framework pins: state changes under
// the state lock, graph membership, reference clock, pin enumeration.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "camera/framework/critical_section.h"
#include "camera/framework/setup_data.h"
#include "camera/framework/unknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(IUnknown* outer, REFCLSID clsid);
    CBaseFilter(LPCWSTR objectName, IUnknown* outer, REFCLSID clsid);
    ~CBaseFilter() override;

    QV_DECLARE_IUNKNOWN
    // IBaseFilter, IMediaFilter, IPersist, IAMovieSetup.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // Stream time of the graph's clock since the last Run; VFW_E_NO_CLOCK without one.
    virtual HRESULT StreamTime(REFERENCE_TIME& time);
    // Changes when pins come or go; enumerators compare it.
    virtual LONG GetPinVersion();
    virtual int GetPinCount() = 0;
    // A pin without a new reference, or null when `index` is out of range.
    virtual CBasePin* GetPin(int index) = 0;
    // Default-category registration data for IAMovieSetup; none by default.
    virtual const AMOVIESETUP_FILTER* GetSetupData();

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IMediaFilter. Pause from stopped activates every connected pin; Run
    // from stopped pauses first and then runs every connected pin; Stop
    // deactivates every connected pin and returns the first failure.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;
    // IAMovieSetup: the default category, from GetSetupData; S_FALSE
    // without setup data.
    STDMETHODIMP Register() override;
    STDMETHODIMP Unregister() override;

    // The filter's re-entrant state lock; pins share it.
    CCritSec* pStateLock() { return &m_stateLock; }
    // The graph the filter has joined; not counted, as the graph owns us.
    IFilterGraph* GetFilterGraph() const { return m_graph; }
    FILTER_STATE State() const { return m_state; }
    bool IsStopped() const { return m_state == State_Stopped; }
    bool IsActive() const { return m_state != State_Stopped; }
    // Sends an event to the graph's event sink; E_NOTIMPL outside a graph.
    // Safe on a worker thread: takes no lock.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

protected:
    void IncrementPinVersion() { InterlockedIncrement(&m_pinVersion); }

    CCritSec m_stateLock;
    volatile FILTER_STATE m_state = State_Stopped;
    REFERENCE_TIME m_start = 0;
    Microsoft::WRL::ComPtr<IReferenceClock> m_clock;

private:
    CLSID m_clsid;
    IFilterGraph* m_graph = nullptr;
    IMediaEventSink* m_eventSink = nullptr;  // part of m_graph, not counted
    std::wstring m_name;
    volatile LONG m_pinVersion = 1;
};
