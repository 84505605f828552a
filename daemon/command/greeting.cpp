#include "daemon/command/greeting.h"

#include "daemon/devices/audio_device_list.h"

#include <algorithm>

namespace {

const char kNoDevice[] = "null";
const char kVersion[] = "1.0.0";

}  // namespace

std::string BuildGreetingText() {
    std::string devices;
    BuildAudioDeviceList(devices);
    std::string greeting = devices.empty() ? kNoDevice : devices;
    greeting += "$";
    greeting += kVersion;
    return greeting;
}

std::string CutGreeting(const std::string& greeting) {
    std::string cut = greeting.substr(0, std::min(greeting.size(), kGreetingMaxBytes));
    // The message ends at the first NUL, as the client reads it.
    return cut.substr(0, cut.find('\0'));
}
