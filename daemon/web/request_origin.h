#pragma once
// Who may talk to the web endpoint. The Host check defends against DNS
// rebinding (a foreign name made to resolve to 127.0.0.1 would carry that
// name as its Host); the Origin check keeps other sites' pages from opening
// a command session in the user's browser.
#include <string>

const unsigned short kWebPort = 19724;

// "127.0.0.1:19724" or "localhost:19724".
bool IsAllowedHost(const std::string& host);

// The endpoint's own origins, or one listed in
// HKCU\Software\QvPush\AllowedOrigins (REG_MULTI_SZ of origins), read on
// every call so that a change needs no restart. Both sides are compared
// normalised; entries that are no origin ("null", "*", one with a path)
// admit nothing and are reported once to the debug output.
bool IsAllowedOrigin(const std::string& origin);

// scheme://host[:port] with scheme and host in lower case, the scheme's
// default port (80, 443) and one trailing slash dropped. False for text that
// is no such origin: "null", "*", anything with a path, query or user.
bool NormaliseOrigin(const std::string& text, std::string& origin);
