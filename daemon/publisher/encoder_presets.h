#pragma once
// The four encoder presets and the encoder's argument text.
#include <cstdint>
#include <string>

struct EncoderPreset {
    const char* m_template;  // printf form: video, audio, bitrate, stream URL
    int m_videoBitrateKbps;
};

// The preset of a push level; any level outside 0..3 gets that of 3.
const EncoderPreset& PresetForPushLevel(int32_t pushLevel);

// The encoder's arguments: one space and the preset's template filled with
// the devices, the bitrate and the stream URL (each escaped for its quotes),
// whole however long it gets.
std::wstring BuildEncoderArguments(int32_t pushLevel, const std::wstring& videoDevice,
                                   const std::wstring& audioDevice, const std::wstring& streamUrl);
