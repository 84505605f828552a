#include "daemon/publisher/encoder_presets.h"

#include "common/push_levels.h"
#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/publish_state.h"

#include <string>
#include <vector>

namespace {

// "-f dshow", the input options, "-i" and the devices, the encoding options,
// then the target. With no input options this gives the two spaces after
// "dshow" of the levels 0 to 3, and their two spaces after the audio part.
std::vector<EncoderPreset> MakePresets() {
    std::vector<EncoderPreset> presets;
    for (const PushLevelPreset& level : kPushLevelPresets) {
        presets.push_back({std::string("-f dshow ") + level.m_inputOptions + " -i video=\"%s\":audio=\"%s\"  " +
                               level.m_encodingOptions + " -f flv \"%s live=1\"",
                           level.m_videoBitrateKbps});
    }
    return presets;
}

// The preset's text with its %s and %d filled in, as UTF-16 from the start:
// a narrow round trip would turn every character outside one code page
// into '?', in a device name as in the URL.
std::wstring FormatPreset(const char* presetTemplate, const std::wstring& video, const std::wstring& audio,
                          int videoBitrateKbps, const std::wstring& url) {
    const std::wstring* texts[] = {&video, &audio, &url};
    size_t nextText = 0;
    std::wstring formatted;
    for (const char* c = presetTemplate; *c; ++c) {
        if (c[0] == '%' && c[1] == 's' && nextText < 3) {
            formatted += *texts[nextText++];
            ++c;
        } else if (c[0] == '%' && c[1] == 'd') {
            formatted += std::to_wstring(videoBitrateKbps);
            ++c;
        } else {
            formatted += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        }
    }
    return formatted;
}

}  // namespace

const EncoderPreset& PresetForPushLevel(int32_t pushLevel) {
    static const std::vector<EncoderPreset> presets = MakePresets();
    return presets[EffectivePushLevel(pushLevel)];
}

std::wstring BuildEncoderArguments(int32_t pushLevel, const std::wstring& videoDevice,
                                   const std::wstring& audioDevice, const std::wstring& streamUrl) {
    const EncoderPreset& preset = PresetForPushLevel(pushLevel);
    // " live=1" follows the URL inside its quotes.
    return L" " + FormatPreset(preset.m_template.c_str(), EscapeQuotedValue(videoDevice, true),
                               EscapeQuotedValue(audioDevice, true), preset.m_videoBitrateKbps,
                               EscapeQuotedValue(streamUrl, false));
}
