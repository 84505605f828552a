#include "daemon/devices/find_audio_renderer.h"

#include "daemon/devices/device_monikers.h"

#include <uuids.h>


using Microsoft::WRL::ComPtr;

HRESULT FindAudioRenderer(ComPtr<IBaseFilter>& filter) {
    // The last renderer listed; the name is not used, but a device without
    // one ends the walk.
    return WalkCategoryDevices(CLSID_AudioRendererCategory,
                               [&](const std::wstring&, ComPtr<IBaseFilter> bound) { filter = std::move(bound); });
}
