#pragma once
// The MD5 message digest of RFC 1321.
#include <array>
#include <cstdint>
#include <string>

std::array<uint8_t, 16> Md5Digest(const std::string& message);

// The digest as 32 lowercase hexadecimal digits, byte by byte, high digit first.
std::string Md5Hex(const std::string& message);
