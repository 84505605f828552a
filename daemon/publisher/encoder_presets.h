#pragma once
// The encoder presets (common/push_levels.h) and the encoder's argument text.
#include <cstdint>
#include <string>

// The printf form of a level's encoder arguments (video, audio, bitrate,
// stream URL) and the bitrate that fills it; any level outside the table
// gets that of 3.
struct EncoderPreset {
    std::string m_template;
    int m_videoBitrateKbps;
};
const EncoderPreset& PresetForPushLevel(int32_t pushLevel);

// The encoder's arguments: one space and the preset's template filled with
// the devices, the bitrate and the stream URL (each escaped for its quotes),
// whole however long it gets.
std::wstring BuildEncoderArguments(int32_t pushLevel, const std::wstring& videoDevice,
                                   const std::wstring& audioDevice, const std::wstring& streamUrl);
