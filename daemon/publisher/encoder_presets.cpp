#include "daemon/publisher/encoder_presets.h"

#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/text/text_conversion.h"

#include <cstdio>
#include <vector>

namespace {

// Note the two spaces after "dshow", after the audio part and after "-s:v".
const EncoderPreset kPresets[] = {
    {"-f dshow  -i video=\"%s\":audio=\"%s\"  -r:v 10 -s:v  640*480 -b:v %dk -c:v libx264 -tune zerolatency "
     "-x264-params keyint=10:keyint_min=6 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv \"%s live=1\"",
     300},
    {"-f dshow  -i video=\"%s\":audio=\"%s\"  -r:v 8 -s:v  480*360 -b:v %dk -c:v libx264 -tune zerolatency "
     "-x264-params keyint=10:keyint_min=6 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv \"%s live=1\"",
     100},
    {"-f dshow  -i video=\"%s\":audio=\"%s\"  -r:v 7 -s:v  320*240 -b:v %dk -c:v libx264 "
     "-x264-params keyint=14:keyint_min=7 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 16k -f flv \"%s live=1\"",
     40},
    {"-f dshow  -i video=\"%s\":audio=\"%s\"  -r:v 7 -s:v  480*360 -b:v %dk -c:v libx264 -tune zerolatency "
     "-x264-params keyint=20:keyint_min=20 -pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k -f flv \"%s live=1\"",
     30},
};

}  // namespace

const EncoderPreset& PresetForPushLevel(int32_t pushLevel) { return kPresets[EffectivePushLevel(pushLevel)]; }

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
    int needed = snprintf(nullptr, 0, preset.m_template, video.c_str(), audio.c_str(), preset.m_videoBitrateKbps,
                          url.c_str());
    if (needed < 0) return std::wstring();
    std::vector<char> formatted(static_cast<size_t>(needed) + 1, '\0');
    snprintf(formatted.data(), formatted.size(), preset.m_template, video.c_str(), audio.c_str(),
             preset.m_videoBitrateKbps, url.c_str());
    return L" " + NarrowToWide(std::string(formatted.data(), static_cast<size_t>(needed)));
}
