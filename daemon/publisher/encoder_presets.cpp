#include "daemon/publisher/encoder_presets.h"

#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/publish_state.h"

#include <string>

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

const EncoderPreset& PresetForPushLevel(int32_t pushLevel) { return kPresets[EffectivePushLevel(pushLevel)]; }

std::wstring BuildEncoderArguments(int32_t pushLevel, const std::wstring& videoDevice,
                                   const std::wstring& audioDevice, const std::wstring& streamUrl) {
    const EncoderPreset& preset = PresetForPushLevel(pushLevel);
    // " live=1" follows the URL inside its quotes.
    return L" " + FormatPreset(preset.m_template, EscapeQuotedValue(videoDevice, true),
                               EscapeQuotedValue(audioDevice, true), preset.m_videoBitrateKbps,
                               EscapeQuotedValue(streamUrl, false));
}
