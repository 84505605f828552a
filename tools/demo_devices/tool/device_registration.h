#pragma once
// Demo devices in the system's device categories, through the filter
// mapper: one device key a name (its instance name derived from the name),
// the device's settings as values beside its friendly name, and the class's
// COM server key while any device of the class exists.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/demo_devices/common/demo_device_classes.h"

struct DemoDeviceRecord {
    DemoDeviceKind kind = DemoDeviceKind::Microphone;
    std::wstring name;
    // Media subtypes the pin offers, for the mapper's pin data.
    std::vector<GUID> subtypes;
    // Value name and text of each setting.
    std::vector<std::pair<std::wstring, std::wstring>> settings;
};

enum class RegistrationResult { Done, NotRegistered, Failed };

// Registers (or replaces) the device, served by `serverPath`. The caller
// has initialised COM. On failure nothing of the device stays and `error`
// says why.
RegistrationResult RegisterDemoDevice(const DemoDeviceRecord& device, const std::wstring& serverPath,
                                      std::wstring* error);
// Removes the device and, with the last device of its class, the class.
RegistrationResult UnregisterDemoDevice(DemoDeviceKind kind, const std::wstring& name, std::wstring* error);

// The device key's name under the category's Instance key.
std::wstring DemoInstanceName(const std::wstring& name);
