#pragma once
// UTF-8, the text of the web endpoint, against the byte texts of the rest of
// the daemon (the ANSI code page of the device listing, code page 936 of the
// command grammar and the level words).
#include <string>

// Strictly well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text);

std::string WideToUtf8(const std::wstring& wide);
// Only for text that IsValidUtf8 accepted.
std::wstring Utf8ToWide(const std::string& utf8);

