#include "encoder/progress_watchdog.h"

namespace {

// Longer lines are no progress lines; only their start is kept.
constexpr size_t kLongestLine = 1024;

}  // namespace

long long ProgressLineFrame(const std::string& line) {
    size_t i = line.find_first_not_of(' ');
    if (i == std::string::npos || line.compare(i, 6, "frame=") != 0) return -1;
    for (const char* field : {" fps=", " bitrate=", " speed="}) {
        if (line.find(field, i) == std::string::npos) return -1;
    }
    i = line.find_first_not_of(' ', i + 6);
    if (i == std::string::npos || line[i] < '0' || line[i] > '9') return -1;
    long long frame = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && frame < 1000000000000LL; ++i)
        frame = frame * 10 + (line[i] - '0');
    return frame;
}

void CProgressWatchdog::Feed(const char* bytes, size_t count, DWORD now) {
    for (size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            TakeLine(now);
            m_line.clear();
        } else if (m_line.size() < kLongestLine) {
            m_line.push_back(c);
        }
    }
}

void CProgressWatchdog::TakeLine(DWORD now) {
    const long long frame = ProgressLineFrame(m_line);
    if (frame < 0) return;
    if (!m_reachedServer || frame > m_lastFrame) m_lastProgress = now;
    m_reachedServer = true;
    if (frame > m_lastFrame) m_lastFrame = frame;
}
