#include "daemon/publisher/output_lines.h"

#include "daemon/text/utf8_text.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// A line longer than this is cut: no console line of ours comes near it,
// and a child that never ends a line must not grow the daemon.
const size_t kMaxLine = 2048;

bool ValueAfter(const std::string& line, const char* key, double& value) {
    size_t at = line.find(key);
    if (at == std::string::npos) return false;
    const char* start = line.c_str() + at + strlen(key);
    while (*start == ' ') ++start;
    char* end = nullptr;
    value = strtod(start, &end);
    return end != start;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

void COutputLines::Take(const char* bytes, size_t count, const std::function<void(const std::string&)>& onLine) {
    for (size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (!m_partial.empty()) onLine(m_partial);
            m_partial.clear();
        } else if (m_partial.size() < kMaxLine) {
            m_partial.push_back(c);
        }
    }
}

bool ParseProgressLine(const std::string& line, ProgressLine& progress) {
    if (line.compare(0, 6, "frame=") != 0) return false;
    ProgressLine parsed;
    double frames = 0;
    if (!ValueAfter(line, "frame=", frames) || !ValueAfter(line, "fps=", parsed.fps)) return false;
    parsed.frames = static_cast<long long>(frames);
    // "bitrate=N/A" before the first packet went out.
    double kbps = 0;
    if (ValueAfter(line, "bitrate=", kbps)) parsed.kbps = kbps;
    double dropped = 0;
    if (ValueAfter(line, "drop=", dropped)) parsed.dropped = static_cast<long long>(dropped);
    progress = parsed;
    return true;
}

bool IsErrorLine(const std::string& line) {
    if (line.compare(0, 8, "QvShow: ") == 0) return true;
    if (line == "Conversion failed!") return false;
    const std::string lower = Lower(line);
    // FFmpeg's banner lists its build; none of it is an error.
    if (lower.compare(0, 2, "  ") == 0) return false;
    static const char* const kWords[] = {"error",     "fail",    "refused",     "cannot",    "could not",
                                         "unable",    "invalid", "not found",   "no such",   "denied",
                                         "unknown",   "timed out", "broken pipe", "reset by", "i/o timeout"};
    for (const char* word : kWords)
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

bool ParseEncoderLine(const std::string& line, std::string& encoder) {
    static const char kStart[] = "QvShow: video encoder ";
    const size_t startLength = sizeof(kStart) - 1;
    if (line.compare(0, startLength, kStart) != 0 || line.size() == startLength) return false;
    encoder = line.substr(startLength);
    return true;
}

bool ParseDeliveringLine(const std::string& line, std::string& format) {
    static const char kStart[] = "QvGraph: delivering ";
    const size_t startLength = sizeof(kStart) - 1;
    if (line.compare(0, startLength, kStart) != 0) return false;
    if (line.compare(startLength, 1, "\"") != 0) {
        // "QvGraph: delivering YUY2 1280x720 30 fps": the rest is the format.
        format = line.substr(startLength);
        return !format.empty();
    }
    // "QvGraph: delivering "NAME" (YUY2 1280x720 at 30 fps) into ...". The
    // camera's name may hold " (" itself: the format follows its closing quote.
    const size_t close = line.rfind(") into ");
    const size_t open = close == std::string::npos ? close : line.rfind("\" (", close);
    if (open == std::string::npos || open < startLength) return false;
    format = line.substr(open + 3, close - open - 3);
    const size_t at = format.find(" at ");
    if (at != std::string::npos) format.erase(at, 3);
    return true;
}

std::string ConsoleLineToUtf8(const std::string& line) { return BytesAsUtf8(line); }

std::string WideToUtf8Text(const std::wstring& text) { return WideToUtf8(text); }
