#pragma once
// The first message of every command session.
#include <string>

// At most this many bytes go out on the command port before the greeting's NUL.
const size_t kGreetingMaxBytes = 499;

// The working microphones joined by "$" (or "null"), "$", "1.0.0".
std::string BuildGreetingText();

// The greeting as the command port sends it: cut after kGreetingMaxBytes
// bytes, which can cut off the version, and ended at any NUL.
std::string CutGreeting(const std::string& greeting);
