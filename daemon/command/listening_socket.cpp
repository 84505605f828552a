#include "daemon/command/listening_socket.h"

ListenStep OpenListeningSocket(uint16_t port, int backlog, UniqueSocket& listening) {
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return ListenStep::Socket;
    KeepFromChildProcesses(s.get());
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) return ListenStep::Bind;
    if (::listen(s.get(), backlog) != 0) return ListenStep::Listen;
    listening = std::move(s);
    return ListenStep::Done;
}

void KeepFromChildProcesses(SOCKET socket) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}
