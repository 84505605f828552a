#include "daemon/command/greeting.h"

#include "daemon/devices/audio_device_list.h"

#include <algorithm>

namespace {

const char kNoDevice[] = "null";
const char kVersion[] = "1.0.0";

}  // namespace

std::string BuildGreetingText(const std::vector<std::wstring>& deviceNames) {
    const std::string devices = JoinAnsiDeviceNames(deviceNames);
    std::string greeting = devices.empty() ? kNoDevice : devices;
    greeting += "$";
    greeting += kVersion;
    return greeting;
}

std::wstring BuildWideGreetingText(const std::vector<std::wstring>& deviceNames) {
    std::wstring greeting;
    for (size_t i = 0; i < deviceNames.size(); ++i) greeting += (i ? L"$" : L"") + deviceNames[i];
    if (greeting.empty()) greeting.assign(kNoDevice, kNoDevice + sizeof(kNoDevice) - 1);
    greeting += L"$";
    return greeting.append(kVersion, kVersion + sizeof(kVersion) - 1);
}

std::string CutGreeting(const std::string& greeting) {
    std::string cut = greeting.substr(0, std::min(greeting.size(), kGreetingMaxBytes));
    // The message ends at the first NUL, as the client reads it.
    return cut.substr(0, cut.find('\0'));
}
