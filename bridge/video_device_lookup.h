#pragma once
// The webcam the page picked, found as capture programs find it: by its
// friendly name among the system device enumerator's video input devices.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <vector>

struct VideoDeviceLookup {
    HRESULT result = E_FAIL;                   // of the enumeration itself
    Microsoft::WRL::ComPtr<IMoniker> device;   // the first device of that name, if any
    bool isVirtualCamera = false;              // that device is our own camera (by CLSID)
    std::vector<std::wstring> namesFound;      // every video input device's name, in order
};

VideoDeviceLookup FindVideoDevice(const std::wstring& friendlyName);

// `"A", "B"` or `none`, for the line that says the name was not found.
std::wstring JoinDeviceNames(const std::vector<std::wstring>& names);
