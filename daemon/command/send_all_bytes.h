#pragma once
// Sending a whole buffer on a stream socket, which may take several calls.
#include <winsock2.h>

#include <string>

// Sends every byte, in as many calls as the socket needs; false on the first
// failed or zero send.
inline bool SendAllBytes(SOCKET connection, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int count = ::send(connection, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (count <= 0) return false;
        sent += static_cast<size_t>(count);
    }
    return true;
}
