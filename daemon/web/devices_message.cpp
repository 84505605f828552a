#include "daemon/web/devices_message.h"

#include "daemon/text/utf8_text.h"

#include <cstdio>

namespace {

std::string Quoted(const std::wstring& text) {
    const std::string utf8 = WideToUtf8(text);
    std::string out = "\"";
    for (const char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A rate as JSON wants it: no exponent, no trailing zeros ("30", "29.97").
std::string Rate(double rate) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f", rate);
    std::string out = text;
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (!out.empty() && out.back() == '.') out.pop_back();
    return out;
}

}  // namespace

std::string DevicesJson(const std::vector<CameraEntry>& cameras, const std::vector<std::wstring>& microphones) {
    std::string json = "{\"type\":\"devices\",\"cameras\":[";
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (i) json += ",";
        json += "{\"name\":" + Quoted(cameras[i].name) + ",\"formats\":[";
        const std::vector<CameraFormat>& formats = cameras[i].formats;
        for (size_t f = 0; f < formats.size(); ++f) {
            if (f) json += ",";
            json += "{\"pixelFormat\":" + Quoted(formats[f].pixelFormat) + ",\"width\":" +
                    std::to_string(formats[f].width) + ",\"height\":" + std::to_string(formats[f].height) +
                    ",\"maxFrameRate\":" + Rate(formats[f].maxFrameRate) + "}";
        }
        json += "]}";
    }
    json += "],\"microphones\":[";
    for (size_t i = 0; i < microphones.size(); ++i) json += (i ? "," : "") + Quoted(microphones[i]);
    return json + "]}";
}
