#pragma once
// Values placed between double quotes of a command line. Windows programs
// split their command line by the rules of CommandLineToArgvW: backslashes
// right before a double quote escape it. A value ending in a backslash would
// swallow the closing quote and let the rest of the line be read as extra
// arguments, so such backslashes are doubled and inner quotes escaped.
#include <string>

// Escapes value for a place inside double quotes. closesQuote: the value is
// directly followed by the closing double quote. A value without quotes and
// without backslashes before a quote comes back unchanged.
std::wstring EscapeQuotedValue(const std::wstring& value, bool closesQuote);
