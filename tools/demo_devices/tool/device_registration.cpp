#include "tools/demo_devices/tool/device_registration.h"

#include "common/non_copyable.h"

#include <dshow.h>
#include <wrl/client.h>

#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

// Closes a registry key on scope exit.
class RegistryKey : private CNonCopyable {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (m_key) ::RegCloseKey(m_key);
    }
    HKEY* put() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

// The class's server key, written per machine like the mapper's own keys.
std::wstring ServerKeyPath(DemoDeviceKind kind) { return L"Software\\Classes\\CLSID\\" + GuidText(DemoClassOf(kind)); }

// Under HKEY_CLASSES_ROOT, where the mapper puts device keys.
std::wstring InstancesKeyPath(DemoDeviceKind kind) {
    return L"CLSID\\" + GuidText(DemoCategoryOf(kind)) + L"\\Instance";
}

std::wstring DeviceKeyPath(DemoDeviceKind kind, const std::wstring& name) {
    return InstancesKeyPath(kind) + L"\\" + DemoInstanceName(name);
}

std::wstring SystemMessage(const wchar_t* what, long code) {
    wchar_t text[160];
    std::swprintf(text, 160, L"%ls (0x%08lX)", what, static_cast<unsigned long>(code));
    return text;
}

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteServerKey(DemoDeviceKind kind, const std::wstring& serverPath) {
    RegistryKey classKey;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServerKeyPath(kind).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                          classKey.put(), nullptr) != ERROR_SUCCESS)
        return false;
    RegistryKey server;
    if (::RegCreateKeyExW(classKey.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, server.put(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t* description = kind == DemoDeviceKind::Microphone ? L"Demo microphone" : L"Demo webcam";
    return SetText(classKey.get(), nullptr, description) && SetText(server.get(), nullptr, serverPath) &&
           SetText(server.get(), L"ThreadingModel", L"Both");
}

// True while some device key of the category names our class.
bool ClassStillUsed(DemoDeviceKind kind) {
    RegistryKey instances;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, InstancesKeyPath(kind).c_str(), 0, KEY_READ, instances.put()) !=
        ERROR_SUCCESS)
        return false;
    const std::wstring ours = GuidText(DemoClassOf(kind));
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(instances.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        wchar_t clsid[64] = {};
        DWORD size = sizeof clsid - sizeof(wchar_t);
        if (::RegGetValueW(instances.get(), name, L"CLSID", RRF_RT_REG_SZ, nullptr, clsid, &size) == ERROR_SUCCESS &&
            _wcsicmp(clsid, ours.c_str()) == 0)
            return true;
    }
}

HRESULT CreateMapper(ComPtr<IFilterMapper2>& mapper) {
    return ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                              reinterpret_cast<void**>(mapper.GetAddressOf()));
}

// Removes the device key, whether the mapper or an interrupted run left it.
void RemoveDeviceKey(IFilterMapper2* mapper, DemoDeviceKind kind, const std::wstring& name) {
    const std::wstring instance = DemoInstanceName(name);
    mapper->UnregisterFilter(&DemoCategoryOf(kind), instance.c_str(), DemoClassOf(kind));
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, DeviceKeyPath(kind, name).c_str());
}

void RemoveServerKeyWhenUnused(DemoDeviceKind kind) {
    if (!ClassStillUsed(kind)) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ServerKeyPath(kind).c_str());
}

bool DeviceKeyExists(DemoDeviceKind kind, const std::wstring& name) {
    RegistryKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, DeviceKeyPath(kind, name).c_str(), 0, KEY_READ, key.put()) ==
           ERROR_SUCCESS;
}

bool WriteSettings(const DemoDeviceRecord& device) {
    RegistryKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, DeviceKeyPath(device.kind, device.name).c_str(), 0, KEY_SET_VALUE,
                        key.put()) != ERROR_SUCCESS)
        return false;
    for (const auto& setting : device.settings) {
        if (!SetText(key.get(), setting.first.c_str(), setting.second)) return false;
    }
    return true;
}

}  // namespace

std::wstring DemoInstanceName(const std::wstring& name) {
    // FNV-1a over the UTF-16 code units: a key name that any friendly name
    // maps to, backslashes and all, the same on every run.
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : name) {
        hash ^= static_cast<unsigned short>(c);
        hash *= 1099511628211ull;
    }
    wchar_t text[40];
    std::swprintf(text, 40, L"QvDemoDevice-%016llX", hash);
    return text;
}

RegistrationResult RegisterDemoDevice(const DemoDeviceRecord& device, const std::wstring& serverPath,
                                      std::wstring* error) {
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CreateMapper(mapper);
    if (FAILED(hr)) {
        *error = SystemMessage(L"the filter mapper cannot be created", hr);
        return RegistrationResult::Failed;
    }
    if (!WriteServerKey(device.kind, serverPath)) {
        *error = L"cannot write the class key under HKLM\\" + ServerKeyPath(device.kind) + L" (run as administrator)";
        RemoveServerKeyWhenUnused(device.kind);
        return RegistrationResult::Failed;
    }
    RemoveDeviceKey(mapper.Get(), device.kind, device.name);

    std::vector<REGPINTYPES> types;
    const GUID& major = device.kind == DemoDeviceKind::Microphone ? MEDIATYPE_Audio : MEDIATYPE_Video;
    for (const GUID& subtype : device.subtypes) types.push_back({&major, &subtype});
    REGFILTERPINS pin = {};
    pin.bOutput = TRUE;
    pin.nMediaTypes = static_cast<UINT>(types.size());
    pin.lpMediaType = types.data();
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    // Capture devices are chosen by name, never by intelligent connect.
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 1;
    filter.rgPins = &pin;
    const std::wstring instance = DemoInstanceName(device.name);
    hr = mapper->RegisterFilter(DemoClassOf(device.kind), device.name.c_str(), nullptr, &DemoCategoryOf(device.kind),
                                instance.c_str(), &filter);
    if (SUCCEEDED(hr) && !WriteSettings(device)) hr = E_ACCESSDENIED;
    if (FAILED(hr)) {
        *error = SystemMessage(L"the filter mapper did not register the device", hr);
        RemoveDeviceKey(mapper.Get(), device.kind, device.name);
        RemoveServerKeyWhenUnused(device.kind);
        return RegistrationResult::Failed;
    }
    return RegistrationResult::Done;
}

RegistrationResult UnregisterDemoDevice(DemoDeviceKind kind, const std::wstring& name, std::wstring* error) {
    if (!DeviceKeyExists(kind, name)) {
        *error = L"no such device is registered";
        return RegistrationResult::NotRegistered;
    }
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CreateMapper(mapper);
    if (FAILED(hr)) {
        *error = SystemMessage(L"the filter mapper cannot be created", hr);
        return RegistrationResult::Failed;
    }
    RemoveDeviceKey(mapper.Get(), kind, name);
    if (DeviceKeyExists(kind, name)) {
        *error = L"the device key could not be removed (run as administrator)";
        return RegistrationResult::Failed;
    }
    RemoveServerKeyWhenUnused(kind);
    return RegistrationResult::Done;
}
