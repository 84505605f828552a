#pragma once
// UTF-8, the text of the web endpoint and of the status, against the byte
// texts of the rest of the daemon (the ANSI code page of the device listing
// and of QvShow.exe's refusals, code page 936 of the command grammar and the
// level words).
#include <string>

// Strictly well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text);

// An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& wide);
// Only for text that IsValidUtf8 accepted.
std::wstring Utf8ToWide(const std::string& utf8);

// Bytes of unknown origin as UTF-8: valid UTF-8 as it is, anything else
// taken as text in the system's ANSI code page (a console program's output).
std::string BytesAsUtf8(const std::string& bytes);
