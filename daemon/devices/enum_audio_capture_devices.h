#pragma once
// Every audio capture device that can be bound, in the enumerator's order.
#include <vector>

#include "daemon/devices/audio_device_entry.h"

// Appends to list; the first device whose name or filter cannot be obtained
// ends the walk.
HRESULT EnumAudioCaptureDevices(std::vector<AudioDeviceEntry>& list);

// A friendly name in the ANSI code page. Characters without a representation
// become the code page's default character; a name longer than
// kDeviceNameMaxBytes is cut after its last whole character that fits.
std::string ToAnsiDeviceName(const std::wstring& name);
