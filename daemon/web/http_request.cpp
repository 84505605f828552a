#include "daemon/web/http_request.h"

#include <algorithm>
#include <cctype>

namespace {

const size_t kMaxHeadBytes = 8192;
const char kHeadEnd[] = "\r\n\r\n";

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string("!#$%&'*+-.^_`|~").find(c) != std::string::npos;
}

bool IsToken(const std::string& text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar); }

// True when the socket has bytes (or an end) to read before deadlineTick.
bool WaitReadable(SOCKET connection, ULONGLONG deadlineTick) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadlineTick) return false;
    const ULONGLONG left = deadlineTick - now;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(connection, &readable);
    timeval wait = {static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool HttpRequest::Field(const char* name, std::string& value) const {
    bool found = false;
    value.clear();
    for (const auto& field : fields) {
        if (!EqualsIgnoringCase(field.first, name)) continue;
        if (found) value += ", ";
        value += field.second;
        found = true;
    }
    return found;
}

bool HttpRequest::FieldHasToken(const char* name, const char* token) const {
    std::string value;
    if (!Field(name, value)) return false;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        if (EqualsIgnoringCase(Trimmed(value.substr(start, comma - start)), token)) return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}

HeadRead ReadRequestHead(SOCKET connection, ULONGLONG deadlineTick, std::string& head, std::string& rest) {
    std::string received;
    char chunk[2048];
    for (;;) {
        const size_t end = received.find(kHeadEnd);
        if (end != std::string::npos) {
            head = received.substr(0, end + 4);
            rest = received.substr(end + 4);
            return head.size() > kMaxHeadBytes ? HeadRead::TooLarge : HeadRead::Complete;
        }
        if (received.size() > kMaxHeadBytes) return HeadRead::TooLarge;
        if (!WaitReadable(connection, deadlineTick)) return HeadRead::TimedOut;
        const int count = ::recv(connection, chunk, sizeof(chunk), 0);
        if (count <= 0) return HeadRead::Gone;
        received.append(chunk, static_cast<size_t>(count));
    }
}

bool ParseRequestHead(const std::string& head, HttpRequest& request) {
    size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const size_t firstBlank = line.find(' ');
    const size_t secondBlank = line.find(' ', firstBlank + 1);
    if (firstBlank == std::string::npos || secondBlank == std::string::npos ||
        line.find(' ', secondBlank + 1) != std::string::npos)
        return false;
    request.method = line.substr(0, firstBlank);
    request.target = line.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    request.version = line.substr(secondBlank + 1);
    if (!IsToken(request.method) || request.target.empty() || request.version.compare(0, 7, "HTTP/1.") != 0 ||
        request.version.size() != 8)
        return false;
    request.fields.clear();
    for (size_t start = lineEnd + 2; start < head.size();) {
        lineEnd = head.find("\r\n", start);
        if (lineEnd == std::string::npos || lineEnd == start) break;
        const std::string fieldLine = head.substr(start, lineEnd - start);
        const size_t colon = fieldLine.find(':');
        // Obsolete line folding and names with blanks are refused (RFC 9112).
        if (colon == std::string::npos || !IsToken(fieldLine.substr(0, colon))) return false;
        request.fields.emplace_back(fieldLine.substr(0, colon), Trimmed(fieldLine.substr(colon + 1)));
        start = lineEnd + 2;
    }
    return true;
}
