#include "daemon/publisher/status_board.h"

#include <cstdio>

namespace {

// Texts are UTF-8 already; only what JSON reserves is escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Number(double value) {
    char text[32];
    snprintf(text, sizeof(text), "%.1f", value);
    return text;
}

const char* StateWord(StatusKind kind, StatusState state) {
    switch (state) {
    case StatusState::Idle: return "idle";
    case StatusState::Starting: return "starting";
    case StatusState::Running: return kind == StatusKind::Publish ? "live" : "delivering";
    case StatusState::Stalled: return "stalled";
    case StatusState::Retrying: return "retrying";
    case StatusState::Failed: return "failed";
    }
    return "idle";
}

}  // namespace

std::string StatusJson(StatusKind kind, const StatusRecord& r, ULONGLONG now) {
    std::string json = std::string("{\"type\":") + (kind == StatusKind::Publish ? "\"publish\"" : "\"camera\"") +
                       ",\"state\":\"" + StateWord(kind, r.state) + "\"";
    if (kind == StatusKind::Camera) json += ",\"device\":" + Quoted(r.device) + ",\"format\":" + Quoted(r.format);
    switch (r.state) {
    case StatusState::Idle:
        break;
    case StatusState::Starting:
        if (kind == StatusKind::Publish) json += ",\"level\":" + std::to_string(r.level);
        json += ",\"attempt\":" + std::to_string(r.attempt);
        break;
    case StatusState::Running:
    case StatusState::Stalled:
        if (kind == StatusKind::Publish) {
            json += ",\"fps\":" + Number(r.progress.fps) + ",\"kbps\":" + Number(r.progress.kbps) +
                    ",\"dropped\":" + std::to_string(r.progress.dropped) +
                    ",\"uptime\":" + std::to_string((now - r.runningSince) / 1000) +
                    ",\"level\":" + std::to_string(r.level);
            if (!r.encoder.empty()) json += ",\"encoder\":" + Quoted(r.encoder);
        }
        break;
    case StatusState::Retrying: {
        const ULONGLONG left = r.retryAt > now ? r.retryAt - now : 0;
        json += ",\"reason\":" + Quoted(r.reason) + ",\"retryIn\":" + std::to_string((left + 999) / 1000) +
                ",\"attempt\":" + std::to_string(r.attempt);
        break;
    }
    case StatusState::Failed:
        json += ",\"reason\":" + Quoted(r.reason) + ",\"code\":" + std::to_string(r.code);
        break;
    }
    return json + "}";
}
