#include "daemon/devices/enum_audio_capture_devices.h"

#include "daemon/devices/device_monikers.h"

#include <uuids.h>

using Microsoft::WRL::ComPtr;

std::string ToAnsiDeviceName(const std::wstring& name) {
    if (name.empty()) return std::string();
    const int units = static_cast<int>(name.size());
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, name.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string converted(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, name.data(), units, &converted[0], bytes, nullptr, nullptr);
    if (converted.size() <= kDeviceNameMaxBytes) return converted;
    // Cut on a character boundary: half a double-byte character would turn
    // into a different character wherever the name is shown.
    size_t end = 0;
    for (size_t i = 0; i < converted.size();) {
        const size_t width = ::IsDBCSLeadByte(static_cast<BYTE>(converted[i])) ? 2 : 1;
        if (i + width > kDeviceNameMaxBytes) break;
        i += width;
        end = i;
    }
    converted.resize(end);
    return converted;
}

HRESULT EnumAudioCaptureDevices(std::vector<AudioDeviceEntry>& list) {
    return WalkCategoryDevices(CLSID_AudioInputDeviceCategory, [&](const std::wstring& name, ComPtr<IBaseFilter> filter) {
        AudioDeviceEntry entry;
        entry.name = name;
        entry.filter = std::move(filter);
        list.push_back(std::move(entry));
    });
}
