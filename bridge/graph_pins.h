#pragma once
// Finding the pins to connect.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

// The first pin of that direction that is not yet connected.
Microsoft::WRL::ComPtr<IPin> FindFreePin(IBaseFilter* filter, PIN_DIRECTION direction);
// The capture pin of a video capture device (its video preview or still
// pins are not wanted), or else its first free output pin.
Microsoft::WRL::ComPtr<IPin> FindCapturePin(IBaseFilter* camera);
