#pragma once
// Walking one DirectShow device category through the system device enumerator.
#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>

// S_FALSE (and no enumerator) for a category without devices.
HRESULT CreateCategoryEnumerator(REFCLSID category, Microsoft::WRL::ComPtr<IEnumMoniker>& devices);

// The device's "FriendlyName" read as a string from its property bag.
HRESULT ReadFriendlyName(IMoniker* device, std::wstring& name);

HRESULT BindDeviceFilter(IMoniker* device, Microsoft::WRL::ComPtr<IBaseFilter>& filter);
