#pragma once
// One audio capture device as the listing sees it.
#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>

struct AudioDeviceEntry {
    // FriendlyName as the platform gives it; the greeting of the command
    // port converts it to the ANSI code page (at most kDeviceNameMaxBytes bytes).
    std::wstring name;
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
};

const size_t kDeviceNameMaxBytes = 259;
