// Test-only QvCamera.dll whose registration fails (see
// unregistrable_camera.h): the installer carries it in place of the camera
// to show what a setup does with a camera that loads but cannot register.
#include <windows.h>
#include <dshow.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cwctype>
#include <string>

#include "tests/installer/unregistrable_camera.h"

using Microsoft::WRL::ComPtr;

namespace {

HMODULE g_module = nullptr;

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(g_module, path, MAX_PATH);
    return path;
}

std::wstring Mode() {
    wchar_t mode[64] = {};
    ::GetEnvironmentVariableW(kRegistrationModeVariable, mode, 64);
    return mode;
}

// A server key and a device, as a camera writes before its last step fails;
// the first failure of these is what registration returns.
HRESULT WriteProbe() {
    wchar_t clsid[40] = {};
    ::StringFromGUID2(CLSID_RegistrationProbe, clsid, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    const std::wstring path = ModulePath();
    const LSTATUS written = ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, path.c_str(),
                                              static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    if (written != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(written));
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
    if (FAILED(hr)) return hr;
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    return mapper->RegisterFilter(CLSID_RegistrationProbe, kRegistrationProbeName, nullptr,
                                  &CLSID_VideoInputDeviceCategory, kRegistrationProbeName, &filter);
}

bool LoadedFromStage() {
    std::wstring path = ModulePath();
    for (wchar_t& c : path) c = static_cast<wchar_t>(std::towlower(c));
    return path.find(L"\\camera\\qvcamera.dll") != std::wstring::npos;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

STDAPI DllRegisterServer() {
    if (Mode() == L"outside-stage") return LoadedFromStage() ? S_OK : SELFREG_E_CLASS;
    const HRESULT probe = WriteProbe();
    return FAILED(probe) ? probe : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() { return S_OK; }

STDAPI DllGetClassObject(REFCLSID, REFIID, void** object) {
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return S_OK; }
