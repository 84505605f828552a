#include "bridge/video_device_lookup.h"

#include <uuids.h>

#include "bridge/variant_value.h"
#include "camera/filter/camera_identity.h"

using Microsoft::WRL::ComPtr;

namespace {

bool ReadProperty(IPropertyBag* bag, const wchar_t* name, CVariant& value) {
    return SUCCEEDED(bag->Read(name, value.Put(), nullptr));
}

}  // namespace

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
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(bag.GetAddressOf())))) continue;
        CVariant name;
        if (!ReadProperty(bag.Get(), L"FriendlyName", name) || name.Get().vt != VT_BSTR) continue;
        std::wstring text(name.Get().bstrVal, ::SysStringLen(name.Get().bstrVal));
        lookup.namesFound.push_back(text);
        if (lookup.device || text != friendlyName) continue;
        lookup.device = moniker;
        CVariant clsid;
        CLSID value;
        if (ReadProperty(bag.Get(), L"CLSID", clsid) && clsid.Get().vt == VT_BSTR &&
            SUCCEEDED(::CLSIDFromString(clsid.Get().bstrVal, &value))) {
            lookup.isVirtualCamera = value == CLSID_VirtualCamera;
        }
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
