#pragma once
// The webcam the page picked, found as capture programs find it: by its
// friendly name among the system device enumerator's video input devices.
//
// Beside the exact name, two other forms name a camera:
// - a browser's label: Chromium appends a USB camera's vendor and product
//   id to its name ("HD USB Camera (1bcf:2284)"), which DirectShow does
//   not; such a name that names no camera exactly names the camera whose
//   name is the part before " (xxxx:xxxx)".
// - "Name #N": the N-th camera (from 1, in the system's enumeration order)
//   of those that share the name "Name", which is how two cameras of one
//   name are told apart. A name that two cameras share is refused, with
//   the "#N" names that pick each.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <vector>

struct VideoDeviceLookup {
    HRESULT result = E_FAIL;                   // of the enumeration itself
    Microsoft::WRL::ComPtr<IMoniker> device;   // the device that name picks, if any
    bool isVirtualCamera = false;              // that device is our own camera (by CLSID)
    std::vector<std::wstring> namesFound;      // every video input device's name, in order
    std::wstring ambiguity;                    // when cameras share the name: how to pick each
};

VideoDeviceLookup FindVideoDevice(const std::wstring& friendlyName);

// Which of `names` (the devices' friendly names, in enumeration order) the
// wanted name picks by the rules above: its index, or -1 with `ambiguity`
// set when it names several, empty when it names none.
struct DeviceNameMatch {
    int index = -1;
    std::wstring ambiguity;
};
DeviceNameMatch MatchDeviceName(const std::vector<std::wstring>& names, const std::wstring& wanted);

// `"A", "B"` or `none`, for the line that says the name was not found.
std::wstring JoinDeviceNames(const std::vector<std::wstring>& names);
