#include "camera/framework/unknown.h"

CUnknown::CUnknown(IUnknown* outer) : m_owner(outer ? outer : NonDelegatingUnknown()) {}

CUnknown::CUnknown(LPCWSTR, IUnknown* outer) : CUnknown(outer) {}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) return GetInterface(NonDelegatingUnknown(), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        // A destructor that takes and drops a reference to itself (through
        // an aggregated object, say) must not delete the object twice.
        m_refCount = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT GetInterface(IUnknown* itf, void** out) {
    if (!out) return E_POINTER;
    *out = itf;
    itf->AddRef();
    return S_OK;
}
