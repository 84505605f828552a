#include "tests/daemon/command/wire_messages.h"

#include <windows.h>

#include <cstdio>

std::string Gbk(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

std::string Message(const std::wstring& line) { return Gbk(line) + std::string("\r\n\0", 3); }

bool IsPushLevelWord(const std::string& message) {
    for (const std::string* word : {&kWordLevel0, &kWordLevel1, &kWordLevel2, &kWordLevel3, &kWordLevel4, &kWordLevel5})
        if (message == *word) return true;
    return false;
}

std::string NextReply(WireClient& client, DWORD timeoutMs) {
    const uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        const uint64_t now = NowMs();
        std::string message;
        if (!client.ReadMessage(message, now < deadline ? static_cast<DWORD>(deadline - now) : 0)) return message;
        if (!IsPushLevelWord(message)) return message;
    }
}

std::string RepliesWithin(WireClient& client, DWORD ms) {
    std::string bytes = client.ReadFor(ms);
    std::string replies;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t nul = bytes.find('\0', at);
        std::string message = bytes.substr(at, nul == std::string::npos ? std::string::npos : nul + 1 - at);
        if (!IsPushLevelWord(message)) replies += message;
        at += message.size();
    }
    return replies;
}

