#include "daemon/devices/audio_device_list.h"

#include "daemon/devices/enum_audio_capture_devices.h"
#include "daemon/devices/list_working_audio_devices.h"

std::string JoinAnsiDeviceNames(const std::vector<std::wstring>& names) {
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) {
        joined += ToAnsiDeviceName(names[i]);
        if (i + 1 < names.size()) joined += "$";
    }
    return joined;
}

void BuildAudioDeviceList(std::string& text) {
    std::vector<std::wstring> names;
    ListWorkingAudioDevices(names);
    text = JoinAnsiDeviceNames(names);
}
