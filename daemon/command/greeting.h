#pragma once
// The first message of every session on the command port.
#include <string>

// At most this many bytes go out before the greeting's NUL.
const size_t kGreetingMaxBytes = 499;

// The working microphones joined by "$" (or "null"), "$", "1.0.0"; cut after
// kGreetingMaxBytes bytes, which can cut off the version.
std::string BuildGreeting();
