#include "daemon/command/greeting.h"

#include "daemon/devices/audio_device_list.h"

#include <algorithm>

namespace {

const char kNoDevice[] = "null";
const char kVersion[] = "1.0.0";

}  // namespace

std::string BuildGreeting() {
    std::string devices;
    BuildAudioDeviceList(devices);
    std::string greeting = devices.empty() ? kNoDevice : devices;
    greeting += "$";
    greeting += kVersion;
    greeting.resize(std::min(greeting.size(), kGreetingMaxBytes));
    // The message ends at the first NUL, as the client reads it.
    return greeting.substr(0, greeting.find('\0'));
}
