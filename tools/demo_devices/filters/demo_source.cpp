#include "tools/demo_devices/filters/demo_source.h"

#include <string>

CDemoSource::CDemoSource(LPCWSTR name, IUnknown* outer, REFCLSID clsid) : CSource(name, outer, clsid) {}

STDMETHODIMP CDemoSource::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IPersistPropertyBag)) return GetInterface(static_cast<IPersistPropertyBag*>(this), out);
    return CSource::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP CDemoSource::GetClassID(CLSID* clsid) { return CSource::GetClassID(clsid); }

STDMETHODIMP CDemoSource::InitNew() { return S_OK; }

STDMETHODIMP CDemoSource::Load(IPropertyBag* bag, IErrorLog*) {
    if (!bag) return E_POINTER;
    CAutoLock lock(pStateLock());
    if (!IsStopped()) return VFW_E_WRONG_STATE;
    return LoadSettings(bag);
}

STDMETHODIMP CDemoSource::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

STDMETHODIMP CDemoSource::Run(REFERENCE_TIME start) {
    CAutoLock lock(pStateLock());
    // Pauses first when stopped, which activates the pin and with it the pacer.
    HRESULT hr = CSource::Run(start);
    if (SUCCEEDED(hr)) m_pacer.Run();
    return hr;
}

STDMETHODIMP CDemoSource::Pause() {
    CAutoLock lock(pStateLock());
    if (State() == State_Running) m_pacer.Pause();
    return CSource::Pause();
}

STDMETHODIMP CDemoSource::GetState(DWORD timeoutMs, FILTER_STATE* state) {
    HRESULT hr = CSource::GetState(timeoutMs, state);
    if (SUCCEEDED(hr) && state && *state == State_Paused) return VFW_S_CANT_CUE;
    return hr;
}

HRESULT ReadBagText(IPropertyBag* bag, LPCWSTR name, std::wstring* text) {
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    HRESULT hr = bag->Read(name, &value, nullptr);
    if (FAILED(hr)) return S_FALSE;
    if (value.vt != VT_BSTR) {
        ::VariantClear(&value);
        return E_UNEXPECTED;
    }
    text->assign(value.bstrVal ? value.bstrVal : L"");
    ::VariantClear(&value);
    return S_OK;
}
