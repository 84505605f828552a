#pragma once
// The first message of every command session.
#include <string>
#include <vector>

// At most this many bytes go out on the command port before the greeting's NUL.
const size_t kGreetingMaxBytes = 499;

// The working microphones' names joined by "$" (or "null"), "$", "1.0.0",
// with the names in the ANSI code page, as the command port has always sent them.
std::string BuildGreetingText(const std::vector<std::wstring>& deviceNames);

// The same greeting with the names exactly as the platform gives them.
std::wstring BuildWideGreetingText(const std::vector<std::wstring>& deviceNames);

// The greeting as the command port sends it: cut after kGreetingMaxBytes
// bytes, which can cut off the version, and ended at any NUL.
std::string CutGreeting(const std::string& greeting);
