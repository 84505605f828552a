#include "daemon/command/foreign_client.h"

namespace {

bool IsPrintableAscii(char c) { return c >= 0x20 && c <= 0x7E; }
bool IsCapital(char c) { return c >= 'A' && c <= 'Z'; }

// HTTP methods are tokens of capital letters; no command word is one.
const size_t kLongestMethod = 16;

}  // namespace

FirstLineVerdict JudgeFirstLine(const char* bytes, size_t count, size_t room) {
    if (count == 0) return FirstLineVerdict::Undecided;
    if (!IsPrintableAscii(bytes[0])) return FirstLineVerdict::Foreign;
    size_t i = 0;
    while (i < count && i <= kLongestMethod && IsCapital(bytes[i])) ++i;
    if (i > 0 && i < count && i <= kLongestMethod && bytes[i] == ' ') return FirstLineVerdict::Foreign;
    for (size_t j = 0; j + 1 < count; ++j)
        if (bytes[j] == '\r' && bytes[j + 1] == '\n') return FirstLineVerdict::Ours;
    // A method word that has not yet reached its blank could still be one.
    if (i == count && i <= kLongestMethod) return FirstLineVerdict::Undecided;
    return count >= room ? FirstLineVerdict::Foreign : FirstLineVerdict::Undecided;
}
