#pragma once
// A Windows command line split into words by the rules of CommandLineToArgvW
// (the rules the daemon quotes its values by), keeping for every word which
// of its characters stood inside double quotes. The daemon puts device names
// and the stream URL between quotes; knowing what was quoted is what tells a
// value apart from the fixed text around it, whatever the value holds.
#include "common/quote_argument.h"

#include <string>
#include <vector>

struct WordPiece {
    std::wstring text;
    bool quoted = false;
};

struct CommandWord {
    std::vector<WordPiece> pieces;  // a quoted pair always starts a piece, "" an empty one
    std::wstring Text() const;
    bool IsPlain(const wchar_t* literal) const;  // one unquoted piece equal to literal
};

// The words of an argument text (no program name at its front).
std::vector<CommandWord> SplitCommandWords(const std::wstring& arguments);

// The arguments of this process's command line: what follows the program
// name. The daemon writes its path unquoted, spaces and all, so the path is
// recognised as this program's own file name before the usual rule applies.
std::wstring OwnArgumentText(const std::wstring& commandLine, const std::wstring& ownPath);
