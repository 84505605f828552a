#include "daemon/devices/device_monikers.h"

#include "common/non_copyable.h"

#include <oleauto.h>
#include <uuids.h>

using Microsoft::WRL::ComPtr;

namespace {

// Frees the string of a VARIANT on every path.
class ScopedVariant : private CNonCopyable {
public:
    ScopedVariant() { ::VariantInit(&m_value); }
    ~ScopedVariant() { ::VariantClear(&m_value); }
    VARIANT* get() { return &m_value; }

private:
    // Zeroed: a failed Read may leave VT_BSTR without a string behind it.
    VARIANT m_value = {};
};

}  // namespace

HRESULT CreateCategoryEnumerator(REFCLSID category, ComPtr<IEnumMoniker>& devices) {
    ComPtr<ICreateDevEnum> systemEnumerator;
    HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                    IID_PPV_ARGS(&systemEnumerator));
    if (FAILED(hr)) return hr;
    hr = systemEnumerator->CreateClassEnumerator(category, &devices, 0);
    if (FAILED(hr)) return hr;
    // S_FALSE leaves no enumerator behind.
    return devices ? hr : S_FALSE;
}

HRESULT ReadFriendlyName(IMoniker* device, std::wstring& name) {
    ComPtr<IPropertyBag> properties;
    HRESULT hr = device->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&properties));
    if (FAILED(hr)) return hr;
    ScopedVariant value;
    value.get()->vt = VT_BSTR;
    hr = properties->Read(L"FriendlyName", value.get(), nullptr);
    if (FAILED(hr)) return hr;
    if (value.get()->vt != VT_BSTR || !value.get()->bstrVal) return E_UNEXPECTED;
    // The name ends at its first NUL, as every consumer of it reads it.
    name.assign(value.get()->bstrVal);
    return S_OK;
}

HRESULT BindDeviceFilter(IMoniker* device, ComPtr<IBaseFilter>& filter) {
    return device->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter));
}

HRESULT WalkCategoryDevices(REFCLSID category,
                            const std::function<void(const std::wstring& name, ComPtr<IBaseFilter> filter)>& visit) {
    ComPtr<IEnumMoniker> devices;
    HRESULT hr = CreateCategoryEnumerator(category, devices);
    if (hr != S_OK) return hr;
    ComPtr<IMoniker> device;
    while (devices->Next(1, device.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        std::wstring name;
        hr = ReadFriendlyName(device.Get(), name);
        if (FAILED(hr)) return hr;
        ComPtr<IBaseFilter> filter;
        hr = BindDeviceFilter(device.Get(), filter);
        if (FAILED(hr)) return hr;
        visit(name, std::move(filter));
    }
    return S_OK;
}
