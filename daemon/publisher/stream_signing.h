#pragma once
// Renewing the MD5 token of the stored stream URL before an encoder restart.
#include <cstdint>
#include <string>

struct SignedStreamUrl {
    std::string m_token;
    std::string m_url;
};

// The time text: seconds since 1970 in lowercase hexadecimal, no leading zeros.
std::string SigningTimeText(int64_t secondsSince1970);

// The stream name: from just after the first "/kavo/" up to the first "?"
// at least one character further on; empty when either is missing.
std::string StreamNameOf(const std::string& url);

// Signs a narrow URL for the given time.
SignedStreamUrl SignStreamUrl(const std::string& url, int64_t secondsSince1970);

// Re-signs the URL of PublishState for the current time and stores it back,
// in one step under its lock.
void ResignStreamUrl();
