#pragma once
// One argument quoted so that CommandLineToArgvW (and so any program built
// on the C runtime's rules, FFmpeg among them) gives it back unchanged.
#include <string>

inline std::wstring QuoteArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped;
        // elsewhere they stand for themselves.
        if (c == L'"') backslashes = backslashes * 2 + 1;
        quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}
