#pragma once
// What the demo microphone and webcam have in common: a live source filter
// with one output pin, paced by the wall clock, that takes its device's
// settings from the property bag the device moniker hands it.
#include <windows.h>
#include <dshow.h>
#include <ocidl.h>

#include <new>
#include <string>

#include "camera/framework/framework.h"
#include "tools/demo_devices/filters/live_pacer.h"

class CDemoSource : public CSource, public IPersistPropertyBag {
public:
    CDemoSource(LPCWSTR name, IUnknown* outer, REFCLSID clsid);

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // IPersist, for both IBaseFilter and IPersistPropertyBag.
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IPersistPropertyBag. Load reads the device's settings; values the bag
    // does not have keep their defaults.
    STDMETHODIMP InitNew() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // IMediaFilter: live-source behaviour. A paused live source cannot cue
    // data, which GetState says with VFW_S_CANT_CUE so that a graph does not
    // wait for a sample that only comes after Run.
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;

    CLivePacer& Pacer() { return m_pacer; }

protected:
    // Applies the settings in `bag`; called under the state lock while stopped.
    virtual HRESULT LoadSettings(IPropertyBag* bag) = 0;

private:
    CLivePacer m_pacer;
};

// The REG_SZ value `name` of a device's property bag: S_OK with it, S_FALSE
// when the bag has no such value.
HRESULT ReadBagText(IPropertyBag* bag, LPCWSTR name, std::wstring* text);

// The end of a demo filter's factory: gives `filter` (null when it could
// not be allocated) its pin, which it owns from the pin's construction on.
template <typename Filter, typename Pin>
CUnknown* WithOwnPin(Filter* filter, Pin** pin, HRESULT* phr) {
    if (!filter) {
        *phr = E_OUTOFMEMORY;
        return nullptr;
    }
    *pin = new (std::nothrow) Pin(phr, filter);
    if (!*pin && SUCCEEDED(*phr)) *phr = E_OUTOFMEMORY;
    return filter;
}
