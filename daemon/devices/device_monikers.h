#pragma once
// Walking one DirectShow device category through the system device enumerator.
#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <functional>
#include <string>

// S_FALSE (and no enumerator) for a category without devices.
HRESULT CreateCategoryEnumerator(REFCLSID category, Microsoft::WRL::ComPtr<IEnumMoniker>& devices);

// The device's "FriendlyName" read as a string from its property bag.
HRESULT ReadFriendlyName(IMoniker* device, std::wstring& name);

HRESULT BindDeviceFilter(IMoniker* device, Microsoft::WRL::ComPtr<IBaseFilter>& filter);

// Visits the devices of a category in the enumerator's order, each with its
// friendly name and its bound filter. A device whose name cannot be read or
// whose filter cannot be bound ends the walk with that failure. S_FALSE for
// a category without devices.
HRESULT WalkCategoryDevices(
    REFCLSID category,
    const std::function<void(const std::wstring& name, Microsoft::WRL::ComPtr<IBaseFilter> filter)>& visit);
