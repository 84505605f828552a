#include "daemon/publisher/encoder_presets.h"

#include "common/push_levels.h"
#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/text/text_conversion.h"

#include <cstdio>
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

}  // namespace

const EncoderPreset& PresetForPushLevel(int32_t pushLevel) {
    static const std::vector<EncoderPreset> presets = MakePresets();
    return presets[EffectivePushLevel(pushLevel)];
}

std::wstring BuildEncoderArguments(int32_t pushLevel, const std::wstring& videoDevice,
                                   const std::wstring& audioDevice, const std::wstring& streamUrl) {
    const EncoderPreset& preset = PresetForPushLevel(pushLevel);
    // Escaped as UTF-16: in GBK a backslash byte can be the second byte of a
    // character, which an escape over the narrow text would mistake.
    std::string video = WideToNarrow(EscapeQuotedValue(videoDevice, true));
    std::string audio = WideToNarrow(EscapeQuotedValue(audioDevice, true));
    // " live=1" follows the URL inside its quotes.
    std::string url = WideToNarrow(EscapeQuotedValue(streamUrl, false));

    // Formatted whole: a text cut at a fixed room would publish to a cut URL.
    int needed = snprintf(nullptr, 0, preset.m_template.c_str(), video.c_str(), audio.c_str(), preset.m_videoBitrateKbps,
                          url.c_str());
    if (needed < 0) return std::wstring();
    std::vector<char> formatted(static_cast<size_t>(needed) + 1, '\0');
    snprintf(formatted.data(), formatted.size(), preset.m_template.c_str(), video.c_str(), audio.c_str(),
             preset.m_videoBitrateKbps, url.c_str());
    return L" " + NarrowToWide(std::string(formatted.data(), static_cast<size_t>(needed)));
}
