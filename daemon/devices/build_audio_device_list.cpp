#include "daemon/devices/audio_device_list.h"

#include "daemon/devices/list_working_audio_devices.h"

void BuildAudioDeviceList(std::string& text) {
    std::vector<std::string> names;
    ListWorkingAudioDevices(names);
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) {
        joined += names[i];
        if (i + 1 < names.size()) joined += "$";
    }
    text = joined;
}
