#pragma once
#include <string>

// The MD5 of `bytes` as 32 lower-case hex digits, computed by the system's
// own crypto provider, to check ours against; "<no md5>" when it cannot.
std::string SystemMd5(const std::string& bytes);
