#pragma once
// The built QvCamera.dll, loaded into the test process the way COM loads an
// in-process server, with typed access to its entry points.
#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <string>

#include "tests/support/child_process.h"

inline std::wstring CameraModulePath() { return TestBinDir() + L"QvCamera.dll"; }

class CameraModule {
public:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();

    explicit CameraModule(const std::wstring& path = CameraModulePath()) : m_module(::LoadLibraryW(path.c_str())) {}
    ~CameraModule() {
        if (m_module) ::FreeLibrary(m_module);
    }
    CameraModule(const CameraModule&) = delete;
    CameraModule& operator=(const CameraModule&) = delete;

    HMODULE get() const { return m_module; }
    explicit operator bool() const { return m_module != nullptr; }

    template <typename Fn>
    Fn Export(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
        return Export<GetClassObjectFn>("DllGetClassObject")(clsid, iid, out);
    }
    // A new camera object through the module's class factory, as
    // CoCreateInstance would make it.
    HRESULT CreateCamera(REFCLSID clsid, REFIID iid, void** out) const {
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        HRESULT hr = GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
        return FAILED(hr) ? hr : factory->CreateInstance(nullptr, iid, out);
    }
    HRESULT CanUnloadNow() const { return Export<NoArgumentFn>("DllCanUnloadNow")(); }
    HRESULT RegisterServer() const { return Export<NoArgumentFn>("DllRegisterServer")(); }
    HRESULT UnregisterServer() const { return Export<NoArgumentFn>("DllUnregisterServer")(); }

private:
    HMODULE m_module;
};
