// DllRegisterServer and DllUnregisterServer: the COM server keys and the
// default-category entry of every template, then the entry in the video
// input device category that makes capture programs list the camera.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "camera/filter/camera_identity.h"
#include "camera/module/factory_templates.h"
#include "camera/framework/class_factory.h"
#include "common/com_apartment.h"
#include "common/unique_handle.h"

using Microsoft::WRL::ComPtr;

namespace {

using UniqueRegKey = UniqueHandleT<NullableHandleTraits<HKEY, ::RegCloseKey>>;

HRESULT FromWin32(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

HRESULT LastError() {
    DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The path COM loads the module from. Taken as UTF-16, not through the ANSI
// code page, so that a directory name outside that code page still names
// the module; a path too long for the buffer is refused rather than cut.
HRESULT GetModulePath(std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(FrameworkModuleInstance(), buffer, MAX_PATH);
    if (length == 0) return LastError();
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, length);
    return S_OK;
}

std::wstring ClsidKeyPath(const CLSID& clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);  // upper case, with braces
    return std::wstring(L"CLSID\\") + text;
}

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return FromWin32(::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

HRESULT CreateKey(HKEY parent, const std::wstring& name, UniqueRegKey& key) {
    return FromWin32(
        ::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
}

HRESULT WriteServerKeys(const CFactoryTemplate& entry, const std::wstring& modulePath) {
    UniqueRegKey classKey;
    HRESULT hr = CreateKey(HKEY_CLASSES_ROOT, ClsidKeyPath(*entry.m_ClsID), classKey);
    if (SUCCEEDED(hr)) hr = SetString(classKey.get(), nullptr, entry.m_Name);
    UniqueRegKey serverKey;
    if (SUCCEEDED(hr)) hr = CreateKey(classKey.get(), L"InprocServer32", serverKey);
    if (SUCCEEDED(hr)) hr = SetString(serverKey.get(), nullptr, modulePath);
    if (SUCCEEDED(hr)) hr = SetString(serverKey.get(), L"ThreadingModel", L"Both");
    return hr;
}

// Depth first; a key that cannot be opened is taken as gone already.
HRESULT DeleteKeyTree(HKEY parent, const std::wstring& name) {
    {
        UniqueRegKey key;
        if (::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE | DELETE, key.put()) != ERROR_SUCCESS)
            return S_OK;
        for (;;) {
            wchar_t child[256];
            DWORD childLength = 256;
            LSTATUS status = ::RegEnumKeyExW(key.get(), 0, child, &childLength, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return FromWin32(status);
            HRESULT hr = DeleteKeyTree(key.get(), child);
            if (FAILED(hr)) return hr;
            // A subkey that survived its deletion would be enumerated forever.
            UniqueRegKey survivor;
            if (::RegOpenKeyExW(key.get(), child, 0, KEY_READ, survivor.put()) == ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
        }
    }
    LSTATUS status = ::RegDeleteKeyW(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(status);
}

HRESULT UpdateDefaultCategory(bool doRegister) {
    // COM around the framework's own use of the mapper.
    ScopedComApartment com;
    HRESULT hr = S_OK;
    for (int i = 0; i < g_cTemplates && SUCCEEDED(hr); ++i) {
        if (g_Templates[i].m_pAMovieSetup_Filter != nullptr)
            hr = RegisterFilterSetup(*g_Templates[i].m_pAMovieSetup_Filter, doRegister);
    }
    ::CoFreeUnusedLibraries();
    return hr;
}

HRESULT FrameworkRegisterServer() {
    std::wstring modulePath;
    HRESULT hr = GetModulePath(modulePath);
    for (int i = 0; i < g_cTemplates && SUCCEEDED(hr); ++i) hr = WriteServerKeys(g_Templates[i], modulePath);
    if (FAILED(hr)) return hr;
    return UpdateDefaultCategory(true);
}

HRESULT FrameworkUnregisterServer() {
    std::wstring modulePath;
    HRESULT hr = GetModulePath(modulePath);
    if (FAILED(hr)) return hr;
    hr = UpdateDefaultCategory(false);
    for (int i = 0; i < g_cTemplates && SUCCEEDED(hr); ++i) hr = DeleteKeyTree(HKEY_CLASSES_ROOT, ClsidKeyPath(*g_Templates[i].m_ClsID));
    return hr;
}

// The device-category steps use the caller's COM state.
HRESULT CreateDeviceMapper(ComPtr<IFilterMapper2>& mapper) {
    return ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
}

}  // namespace

STDAPI DllRegisterServer() {
    HRESULT hr = FrameworkRegisterServer();
    if (FAILED(hr)) return hr;
    ComPtr<IFilterMapper2> mapper;
    hr = CreateDeviceMapper(mapper);
    if (FAILED(hr)) return hr;
    return mapper->RegisterFilter(CLSID_VirtualCamera, kCameraFriendlyName, nullptr, &CLSID_VideoInputDeviceCategory,
                                  kCameraFriendlyName, &DeviceCategoryRegistration());
}

STDAPI DllUnregisterServer() {
    HRESULT hr = FrameworkUnregisterServer();
    if (FAILED(hr)) return hr;
    ComPtr<IFilterMapper2> mapper;
    hr = CreateDeviceMapper(mapper);
    if (FAILED(hr)) return hr;
    // Not turned into success when the device entry was never there.
    return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kCameraFriendlyName, CLSID_VirtualCamera);
}
