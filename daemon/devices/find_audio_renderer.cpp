#include "daemon/devices/find_audio_renderer.h"

#include "daemon/devices/device_monikers.h"

#include <uuids.h>

#include <string>

using Microsoft::WRL::ComPtr;

HRESULT FindAudioRenderer(ComPtr<IBaseFilter>& filter) {
    ComPtr<IEnumMoniker> devices;
    HRESULT hr = CreateCategoryEnumerator(CLSID_AudioRendererCategory, devices);
    if (hr != S_OK) return hr;
    ComPtr<IMoniker> device;
    while (devices->Next(1, device.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        // The name is not used, but a device without one ends the walk.
        std::wstring name;
        hr = ReadFriendlyName(device.Get(), name);
        if (FAILED(hr)) return hr;
        ComPtr<IBaseFilter> bound;
        hr = BindDeviceFilter(device.Get(), bound);
        if (FAILED(hr)) return hr;
        filter = bound;
    }
    return S_OK;
}
