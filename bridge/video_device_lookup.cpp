#include "bridge/video_device_lookup.h"

#include <uuids.h>

#include "bridge/variant_value.h"
#include "camera/filter/camera_identity.h"

using Microsoft::WRL::ComPtr;

namespace {

bool ReadProperty(IPropertyBag* bag, const wchar_t* name, CVariant& value) {
    return SUCCEEDED(bag->Read(name, value.Put(), nullptr));
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

// The name without a Chromium-style " (vvvv:pppp)" at its end; empty when
// it has none.
std::wstring WithoutUsbIds(const std::wstring& label) {
    const wchar_t pattern[] = L" (xxxx:xxxx)";  // x: a hex digit
    const size_t length = sizeof(pattern) / sizeof(wchar_t) - 1;
    if (label.size() <= length) return std::wstring();
    const size_t at = label.size() - length;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = label[at + i];
        if (pattern[i] == L'x' ? !IsHexDigit(c) : c != pattern[i]) return std::wstring();
    }
    return label.substr(0, at);
}

std::vector<int> IndexesNamed(const std::vector<std::wstring>& names, const std::wstring& name) {
    std::vector<int> found;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) found.push_back(static_cast<int>(i));
    return found;
}

std::wstring Ambiguity(const std::wstring& name, size_t count) {
    std::wstring text = std::to_wstring(count) + L" cameras are named \"" + name + L"\"; name one of them as ";
    for (size_t n = 1; n <= count; ++n) {
        if (n > 1) text += n == count ? L" or " : L", ";
        text += L"\"" + name + L" #" + std::to_wstring(n) + L"\"";
    }
    return text;
}

// "Name #N" with N from 1: the index among the cameras named "Name".
DeviceNameMatch MatchNumbered(const std::vector<std::wstring>& names, const std::wstring& wanted) {
    DeviceNameMatch match;
    const size_t mark = wanted.rfind(L" #");
    if (mark == std::wstring::npos || mark + 2 >= wanted.size() || wanted.size() - mark > 6) return match;
    size_t number = 0;
    for (size_t i = mark + 2; i < wanted.size(); ++i) {
        if (wanted[i] < L'0' || wanted[i] > L'9') return match;
        number = number * 10 + (wanted[i] - L'0');
    }
    const std::vector<int> found = IndexesNamed(names, wanted.substr(0, mark));
    if (number >= 1 && number <= found.size()) match.index = found[number - 1];
    return match;
}

DeviceNameMatch MatchExactly(const std::vector<std::wstring>& names, const std::wstring& wanted) {
    DeviceNameMatch match;
    const std::vector<int> found = IndexesNamed(names, wanted);
    if (found.size() == 1) match.index = found[0];
    if (found.size() > 1) match.ambiguity = Ambiguity(wanted, found.size());
    return match;
}

}  // namespace

DeviceNameMatch MatchDeviceName(const std::vector<std::wstring>& names, const std::wstring& wanted) {
    DeviceNameMatch match = MatchExactly(names, wanted);
    if (match.index >= 0 || !match.ambiguity.empty()) return match;
    match = MatchNumbered(names, wanted);
    if (match.index >= 0) return match;
    const std::wstring withoutIds = WithoutUsbIds(wanted);
    if (!withoutIds.empty()) return MatchExactly(names, withoutIds);
    return match;
}

VideoDeviceLookup FindVideoDevice(const std::wstring& friendlyName) {
    VideoDeviceLookup lookup;
    ComPtr<ICreateDevEnum> devices;
    lookup.result = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_PPV_ARGS(devices.GetAddressOf()));
    if (FAILED(lookup.result)) return lookup;
    ComPtr<IEnumMoniker> monikers;
    lookup.result = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.GetAddressOf(), 0);
    // S_FALSE: the category is empty and no enumerator was made.
    if (lookup.result != S_OK) {
        if (lookup.result == S_FALSE) lookup.result = S_OK;
        return lookup;
    }
    struct Device {
        ComPtr<IMoniker> moniker;
        bool isVirtualCamera = false;
    };
    std::vector<Device> found;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(bag.GetAddressOf())))) continue;
        CVariant name;
        if (!ReadProperty(bag.Get(), L"FriendlyName", name) || name.Get().vt != VT_BSTR) continue;
        lookup.namesFound.emplace_back(name.Get().bstrVal, ::SysStringLen(name.Get().bstrVal));
        Device device{moniker, false};
        CVariant clsid;
        CLSID value;
        if (ReadProperty(bag.Get(), L"CLSID", clsid) && clsid.Get().vt == VT_BSTR &&
            SUCCEEDED(::CLSIDFromString(clsid.Get().bstrVal, &value))) {
            device.isVirtualCamera = value == CLSID_VirtualCamera;
        }
        found.push_back(device);
    }
    const DeviceNameMatch match = MatchDeviceName(lookup.namesFound, friendlyName);
    lookup.ambiguity = match.ambiguity;
    if (match.index >= 0) {
        lookup.device = found[match.index].moniker;
        lookup.isVirtualCamera = found[match.index].isVirtualCamera;
    }
    return lookup;
}

std::wstring JoinDeviceNames(const std::vector<std::wstring>& names) {
    if (names.empty()) return L"none";
    std::wstring joined;
    for (const std::wstring& name : names) {
        if (!joined.empty()) joined += L", ";
        joined += L"\"" + name + L"\"";
    }
    return joined;
}
