#include "daemon/publisher/command_line_quoting.h"

std::wstring EscapeQuotedValue(const std::wstring& value, bool closesQuote) {
    std::wstring escaped;
    escaped.reserve(value.size());
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            // 2n backslashes give n, the extra one makes the quote literal.
            escaped.append(backslashes * 2 + 1, L'\\');
        } else {
            escaped.append(backslashes, L'\\');
        }
        backslashes = 0;
        escaped.push_back(c);
    }
    escaped.append(closesQuote ? backslashes * 2 : backslashes, L'\\');
    return escaped;
}
