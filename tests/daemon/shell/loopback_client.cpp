#include "tests/daemon/shell/loopback_client.h"

#include <ws2tcpip.h>

#include "daemon/command/send_all_bytes.h"

void StartSockets() {
    static const bool s_started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)s_started;
}

UniqueSocket ConnectLoopback(unsigned short port) {
    StartSockets();
    UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket) return socket;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) socket.reset();
    return socket;
}

bool SendBytes(SOCKET socket, const std::string& bytes) { return SendAllBytes(socket, bytes); }

bool ReceiveMessage(SOCKET socket, std::string* message, DWORD timeoutMs) {
    DWORD timeout = timeoutMs;
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    message->clear();
    char c;
    while (::recv(socket, &c, 1, 0) == 1) {
        if (c == '\0') return true;
        message->push_back(c);
    }
    return false;
}
