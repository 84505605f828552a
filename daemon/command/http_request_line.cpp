#include "daemon/command/http_request_line.h"

#include <cstring>

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsTargetByte(char c) { return c != ' ' && c != '\r' && c != '\n' && c != '\0'; }

}  // namespace

bool BeginsWithHttpRequestLine(const char* bytes, size_t count) {
    static const char kVersion[] = " HTTP/1.";
    const size_t versionLength = sizeof(kVersion) - 1;
    size_t i = 0;
    while (i < count && IsLetter(bytes[i])) ++i;
    if (i == 0 || i >= count || bytes[i] != ' ') return false;
    const size_t target = ++i;
    while (i < count && IsTargetByte(bytes[i])) ++i;
    if (i == target || count - i < versionLength) return false;
    return memcmp(bytes + i, kVersion, versionLength) == 0;
}
