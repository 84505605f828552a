#include "camera/framework/class_factory.h"

#include <new>

#include "camera/framework/unknown.h"

namespace {
HINSTANCE g_frameworkInstance = nullptr;
DWORD g_platformId = 0;
}  // namespace

CClassFactory::CClassFactory(const CFactoryTemplate* factoryTemplate) : m_template(factoryTemplate) {}

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

STDMETHODIMP_(ULONG) CClassFactory::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    // An aggregated object can hand its owner only the non-delegating unknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    HRESULT hr = S_OK;
    CUnknown* object = m_template->CreateInstance(outer, &hr);
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete object;
        return hr;
    }
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(iid, out);
    object->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
    ChangeServerLock(lock != FALSE);
    return S_OK;
}

HRESULT FrameworkGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    if (!out) return E_POINTER;
    for (int i = 0; i < g_cTemplates; ++i) {
        if (!g_Templates[i].IsClassID(clsid)) continue;
        auto* factory = new (std::nothrow) CClassFactory(&g_Templates[i]);
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        *out = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

BOOL FrameworkDllEntry(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: {
            DisableThreadLibraryCalls(instance);
            OSVERSIONINFOW version = {};
            version.dwOSVersionInfoSize = sizeof(version);
            g_platformId = GetVersionExW(&version) ? version.dwPlatformId : 1;
            g_frameworkInstance = instance;
            for (int i = 0; i < g_cTemplates; ++i) {
                if (g_Templates[i].m_lpfnInit) g_Templates[i].m_lpfnInit(TRUE, g_Templates[i].m_ClsID);
            }
            break;
        }
        case DLL_PROCESS_DETACH:
            for (int i = 0; i < g_cTemplates; ++i) {
                if (g_Templates[i].m_lpfnInit) g_Templates[i].m_lpfnInit(FALSE, g_Templates[i].m_ClsID);
            }
            break;
        default:
            break;
    }
    return TRUE;
}

HINSTANCE FrameworkModuleInstance() { return g_frameworkInstance; }
DWORD FrameworkPlatformId() { return g_platformId; }
