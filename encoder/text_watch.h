#pragma once
// Whether a text ever appeared in output that arrives in pieces of any
// size (a text may be split between two reads of a pipe). Keeps only the
// last few bytes, so any amount of output can pass through it.
#include <cstddef>
#include <string>
#include <utility>

class CTextWatch {
public:
    explicit CTextWatch(std::string text = std::string()) : m_text(std::move(text)) {}

    void Feed(const char* bytes, size_t count) {
        if (m_seen || m_text.empty()) return;
        m_tail.append(bytes, count);
        if (m_tail.find(m_text) != std::string::npos) {
            m_seen = true;
            m_tail.clear();
            return;
        }
        const size_t keep = m_text.size() - 1;
        if (m_tail.size() > keep) m_tail.erase(0, m_tail.size() - keep);
    }
    bool Seen() const { return m_seen; }

private:
    std::string m_text;
    std::string m_tail;
    bool m_seen = false;
};
