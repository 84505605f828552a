#pragma once
// One audio capture device as the listing sees it.
#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>

struct AudioDeviceEntry {
    // FriendlyName in the ANSI code page, at most kDeviceNameMaxBytes bytes.
    std::string name;
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
};

const size_t kDeviceNameMaxBytes = 259;
