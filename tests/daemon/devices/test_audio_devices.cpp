#include "tests/daemon/devices/test_audio_devices.h"

#include "tests/daemon/devices/test_audio_capture_classes.h"

#include <dshow.h>
#include <uuids.h>
#include <wrl/client.h>

#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kInstancePrefix[] = L"QvTestAudio-";

const CLSID* const kClasses[] = {&CLSID_TestAudioCaptureRuns, &CLSID_TestAudioCaptureRefusesToStart,
                                 &CLSID_TestAudioCaptureUnrenderable, &CLSID_TestAudioCaptureUnknown};

const CLSID& ClassOf(TestAudioKind kind) {
    switch (kind) {
    case TestAudioKind::Runs:
        return CLSID_TestAudioCaptureRuns;
    case TestAudioKind::RefusesToStart:
        return CLSID_TestAudioCaptureRefusesToStart;
    case TestAudioKind::Unrenderable:
        return CLSID_TestAudioCaptureUnrenderable;
    case TestAudioKind::CannotBind:
        break;
    }
    return CLSID_TestAudioCaptureUnknown;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ServerKey(const CLSID& clsid) { return L"Software\\Classes\\CLSID\\" + GuidText(clsid); }

std::wstring CategoryInstancesKey() {
    return L"Software\\Classes\\CLSID\\" + GuidText(CLSID_AudioInputDeviceCategory) + L"\\Instance";
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

HRESULT RegisterServers() {
    for (const CLSID* clsid : kClasses) {
        HKEY key = nullptr;
        const std::wstring path = ServerKey(*clsid) + L"\\InprocServer32";
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return E_ACCESSDENIED;
        bool ok = SetString(key, nullptr, TestAudioFilterDll()) && SetString(key, L"ThreadingModel", L"Both");
        ::RegCloseKey(key);
        if (!ok) return E_ACCESSDENIED;
    }
    return S_OK;
}

void UnregisterServers() {
    for (const CLSID* clsid : kClasses) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ServerKey(*clsid).c_str());
}

HRESULT CreateMapper(ComPtr<IFilterMapper2>& mapper) {
    return ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                              reinterpret_cast<void**>(mapper.GetAddressOf()));
}

}  // namespace

std::wstring TestAudioFilterDll() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"test_audio_capture_filters.dll";
}

void RemoveTestAudioLeftovers() {
    HKEY instances = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, CategoryInstancesKey().c_str(), 0, KEY_READ | KEY_WRITE, &instances) ==
        ERROR_SUCCESS) {
        std::vector<std::wstring> ours;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (::RegEnumKeyExW(instances, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (wcsncmp(name, kInstancePrefix, wcslen(kInstancePrefix)) == 0) ours.push_back(name);
        }
        for (const std::wstring& instance : ours) ::RegDeleteTreeW(instances, instance.c_str());
        ::RegCloseKey(instances);
    }
    UnregisterServers();
}

TestAudioDevices::TestAudioDevices() = default;

TestAudioDevices::~TestAudioDevices() { Unregister(); }

HRESULT TestAudioDevices::Register(const std::vector<TestAudioDevice>& devices) {
    Unregister();
    HRESULT hr = RegisterServers();
    if (FAILED(hr)) return hr;
    ComPtr<IFilterMapper2> mapper;
    hr = CreateMapper(mapper);
    if (FAILED(hr)) return hr;
    REGPINTYPES pinType = {&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM};
    REGFILTERPINS pin = {};
    pin.bOutput = TRUE;
    pin.nMediaTypes = 1;
    pin.lpMediaType = &pinType;
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 1;
    filter.rgPins = &pin;
    for (size_t i = 0; i < devices.size(); ++i) {
        // Instance names sort like the list, so the enumerator keeps its order.
        wchar_t instance[32];
        swprintf(instance, 32, L"%ls%03u", kInstancePrefix, static_cast<unsigned>(i));
        hr = mapper->RegisterFilter(ClassOf(devices[i].kind), devices[i].friendlyName.c_str(), nullptr,
                                    &CLSID_AudioInputDeviceCategory, instance, &filter);
        if (FAILED(hr)) {
            Unregister();
            return hr;
        }
        m_instances.push_back(instance);
    }
    return S_OK;
}

void TestAudioDevices::Unregister() {
    ComPtr<IFilterMapper2> mapper;
    if (!m_instances.empty() && SUCCEEDED(CreateMapper(mapper))) {
        for (const std::wstring& instance : m_instances)
            mapper->UnregisterFilter(&CLSID_AudioInputDeviceCategory, instance.c_str(), CLSID_NULL);
    }
    m_instances.clear();
    RemoveTestAudioLeftovers();
}
