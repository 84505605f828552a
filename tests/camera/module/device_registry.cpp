#include "tests/camera/module/device_registry.h"

#include <dshow.h>
#include <wrl/client.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace {

std::wstring ReadBagString(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    ::VariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR) text = value.bstrVal;
    ::VariantClear(&value);
    return text;
}

std::vector<BYTE> ReadBagBytes(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    ::VariantInit(&value);
    std::vector<BYTE> bytes;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == (VT_ARRAY | VT_UI1)) {
        void* data = nullptr;
        if (SUCCEEDED(::SafeArrayAccessData(value.parray, &data))) {
            LONG low = 0, high = -1;
            ::SafeArrayGetLBound(value.parray, 1, &low);
            ::SafeArrayGetUBound(value.parray, 1, &high);
            const BYTE* first = static_cast<const BYTE*>(data);
            bytes.assign(first, first + (high - low + 1));
            ::SafeArrayUnaccessData(value.parray);
        }
    }
    ::VariantClear(&value);
    return bytes;
}

template <typename T>
bool ReadAt(const std::vector<BYTE>& blob, size_t offset, T& value) {
    if (offset > blob.size() || blob.size() - offset < sizeof(T)) return false;
    std::memcpy(&value, blob.data() + offset, sizeof(T));
    return true;
}

}  // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::vector<DeviceEntry> ListDevices(REFCLSID category) {
    std::vector<DeviceEntry> entries;
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  reinterpret_cast<void**>(devices.GetAddressOf()))))
        return entries;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(category, monikers.GetAddressOf(), 0) != S_OK) return entries;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))))
            continue;
        entries.push_back({ReadBagString(bag.Get(), L"FriendlyName"), ReadBagString(bag.Get(), L"CLSID"),
                           ReadBagBytes(bag.Get(), L"FilterData")});
    }
    return entries;
}

std::vector<DeviceEntry> DevicesOfClass(REFCLSID category, REFCLSID clsid) {
    std::vector<DeviceEntry> matching;
    for (DeviceEntry& entry : ListDevices(category)) {
        if (_wcsicmp(entry.clsid.c_str(), GuidText(clsid).c_str()) == 0) matching.push_back(entry);
    }
    return matching;
}

FilterData ParseFilterData(const std::vector<BYTE>& blob) {
    FilterData data;
    DWORD pinCount = 0;
    if (!ReadAt(blob, 0, data.version) || !ReadAt(blob, 4, data.merit) || !ReadAt(blob, 8, pinCount)) return data;
    size_t offset = 16;
    for (DWORD p = 0; p < pinCount; ++p) {
        char signature[4];
        DWORD typeCount = 0, mediumCount = 0, categoryOffset = 0;
        FilterPinData pin;
        if (!ReadAt(blob, offset, signature) || std::memcmp(signature + 1, "pi3", 3) != 0) return data;
        if (!ReadAt(blob, offset + 4, pin.flags) || !ReadAt(blob, offset + 8, pin.instances) ||
            !ReadAt(blob, offset + 12, typeCount) || !ReadAt(blob, offset + 16, mediumCount) ||
            !ReadAt(blob, offset + 20, categoryOffset))
            return data;
        offset += 24 + (categoryOffset != 0 ? 4 : 0);
        for (DWORD t = 0; t < typeCount; ++t) {
            DWORD majorOffset = 0, minorOffset = 0;
            GUID major = GUID_NULL, minor = GUID_NULL;
            if (!ReadAt(blob, offset, signature) || std::memcmp(signature + 1, "ty3", 3) != 0) return data;
            if (!ReadAt(blob, offset + 8, majorOffset) || !ReadAt(blob, offset + 12, minorOffset)) return data;
            if (majorOffset != 0 && !ReadAt(blob, majorOffset, major)) return data;
            if (minorOffset != 0 && !ReadAt(blob, minorOffset, minor)) return data;
            pin.types.emplace_back(major, minor);
            offset += 16;
        }
        offset += 4 * static_cast<size_t>(mediumCount);
        data.pins.push_back(pin);
    }
    data.valid = true;
    return data;
}

bool ReadClassesRootString(const std::wstring& keyPath, const wchar_t* valueName, std::wstring& value) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, keyPath.c_str(), valueName, RRF_RT_REG_SZ, &type, buffer, &size) !=
        ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

bool ClassesRootKeyExists(const std::wstring& keyPath) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}
