#include "encoder/command_line_words.h"

#include <windows.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::wstring CommandWord::Text() const {
    std::wstring text;
    for (const auto& piece : pieces) text += piece.text;
    return text;
}

bool CommandWord::IsPlain(const wchar_t* literal) const {
    return pieces.size() == 1 && !pieces[0].quoted && pieces[0].text == literal;
}

std::vector<CommandWord> SplitCommandWords(const std::wstring& arguments) {
    std::vector<CommandWord> words;
    const size_t n = arguments.size();
    size_t i = 0;
    for (;;) {
        while (i < n && IsBlank(arguments[i])) ++i;
        if (i >= n) break;
        CommandWord word;
        bool quoted = false;
        auto piece = [&]() -> std::wstring& {
            if (word.pieces.empty() || word.pieces.back().quoted != quoted) word.pieces.push_back({L"", quoted});
            return word.pieces.back().text;
        };
        while (i < n && (quoted || !IsBlank(arguments[i]))) {
            const wchar_t c = arguments[i];
            if (c == L'\\') {
                size_t backslashes = 0;
                while (i < n && arguments[i] == L'\\') ++backslashes, ++i;
                if (i < n && arguments[i] == L'"') {
                    // 2n backslashes and a quote: n backslashes and a quote
                    // mark; 2n+1: n backslashes and a literal quote.
                    piece().append(backslashes / 2, L'\\');
                    if (backslashes % 2) {
                        piece().push_back(L'"');
                        ++i;
                    }
                } else {
                    piece().append(backslashes, L'\\');
                }
            } else if (c == L'"') {
                ++i;
                if (quoted && i < n && arguments[i] == L'"') {
                    // "" inside quotes is one literal quote (CommandLineToArgvW).
                    piece().push_back(L'"');
                    ++i;
                } else {
                    quoted = !quoted;
                    // An opening quote starts a piece even when it stays empty.
                    if (quoted) word.pieces.push_back({L"", true});
                }
            } else {
                piece().push_back(c);
                ++i;
            }
        }
        words.push_back(word);
    }
    return words;
}

std::wstring OwnArgumentText(const std::wstring& commandLine, const std::wstring& ownPath) {
    const size_t n = commandLine.size();
    size_t start = 0;
    while (start < n && IsBlank(commandLine[start])) ++start;
    if (start < n && commandLine[start] == L'"') {
        const size_t close = commandLine.find(L'"', start + 1);
        return close == std::wstring::npos ? std::wstring() : commandLine.substr(close + 1);
    }
    const size_t length = ownPath.size();
    if (length && n - start >= length &&
        ::CompareStringOrdinal(commandLine.c_str() + start, static_cast<int>(length), ownPath.c_str(),
                               static_cast<int>(length), TRUE) == CSTR_EQUAL &&
        (n - start == length || IsBlank(commandLine[start + length])))
        return commandLine.substr(start + length);
    size_t end = start;
    while (end < n && !IsBlank(commandLine[end])) ++end;
    return commandLine.substr(end);
}
