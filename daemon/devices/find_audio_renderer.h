#pragma once
// An audio renderer for a device's test graph.
#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

// Binds every audio renderer device in turn and keeps the last one bound;
// filter is left as it was when none can be bound.
HRESULT FindAudioRenderer(Microsoft::WRL::ComPtr<IBaseFilter>& filter);
