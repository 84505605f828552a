#pragma once
// The handshake's proof that the server read the client's key (RFC 6455,
// section 4.2.2): base64 of the SHA-1 of the key and the protocol's GUID.
// Both come from the platform, CNG and CryptoAPI's base64.
#include <string>

// Whether the key is base64 for 16 bytes, as a client must send it.
bool IsWellFormedWebSocketKey(const std::string& key);

// Empty when the platform could not compute it.
std::string WebSocketAcceptKey(const std::string& key);
