#include "camera/filter/virtual_camera.h"

#include "camera/filter/pacing_timer.h"

#include "camera/filter/virtual_camera_pin.h"
#include "camera/filter/camera_identity.h"

CVirtualCamera::CVirtualCamera(IUnknown* outer)
    : CSource(nullptr, outer, CLSID_VirtualCamera), runStartMs(::timeGetTime()), runStart(PerformanceTime100ns()) {}

CUnknown* CALLBACK CVirtualCamera::CreateInstance(LPUNKNOWN outer, HRESULT* phr) {
    // Nothing may throw across the class factory.
    CVirtualCamera* filter = nullptr;
    try {
        filter = new CVirtualCamera(outer);
    } catch (...) {
        return nullptr;  // the factory reports E_OUTOFMEMORY
    }
    CAutoLock lock(filter->pStateLock());
    try {
        filter->m_paStreams.reserve(1);
        // The pin enters itself into the pin list while it is built; a
        // failure of its construction is reported through phr, and the
        // factory then destroys the filter with its pin.
        new CVirtualCamerPin(phr, filter);
    } catch (...) {
        // A pin that threw is gone already, even if it had entered the list.
        filter->m_paStreams.clear();
        *phr = E_OUTOFMEMORY;
    }
    return filter;
}

STDMETHODIMP CVirtualCamera::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IAMStreamConfig) || IsEqualIID(iid, IID_IKsPropertySet)) {
        CBasePin* pin = GetPin(0);
        if (!pin) {
            if (!out) return E_POINTER;
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return static_cast<IPin*>(pin)->QueryInterface(iid, out);
    }
    if (IsEqualIID(iid, IID_TranslateData_buf)) return GetInterface(static_cast<TranslateData_buf*>(this), out);
    return GetOwner()->QueryInterface(iid, out);
}

STDMETHODIMP CVirtualCamera::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_TranslateData_buf)) return GetInterface(static_cast<TranslateData_buf*>(this), out);
    return CSource::NonDelegatingQueryInterface(iid, out);
}

int CVirtualCamera::GetPinCount() { return 1; }

CBasePin* CVirtualCamera::GetPin(int) {
    CAutoLock lock(pStateLock());
    return m_paStreams.empty() ? nullptr : m_paStreams[0];
}

STDMETHODIMP CVirtualCamera::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    CBasePin* only = GetPin(0);
    *pin = only;
    if (!only) return VFW_E_NOT_FOUND;
    only->AddRef();
    return S_OK;
}

STDMETHODIMP CVirtualCamera::Run(REFERENCE_TIME start) {
    runStartMs.store(::timeGetTime());
    runStart.store(PerformanceTime100ns());
    return CSource::Run(start);
}

STDMETHODIMP CVirtualCamera::WriteFrame(const BYTE* data, LONG length) {
    return WriteCameraFrame(data, length);
}
