#include "daemon/command/listening_socket.h"

#include <ws2tcpip.h>

#include "daemon/text/diagnostics.h"

ListenStep OpenListeningSocket(uint16_t port, int backlog, UniqueSocket& listening) {
    // Not inheritable from its first moment, so no child started meanwhile
    // gets it. Sockets accepted on it are inheritable all the same under
    // Wine, so KeepFromChildProcesses still runs on each of them.
    // Overlapped as socket() makes them: the sessions' receive time-out
    // (SO_RCVTIMEO) works only on sockets created so, and accepted sockets
    // take the listener's mode.
    UniqueSocket s(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    if (!s) return ListenStep::Socket;
    // Another user's program must not bind the same port beside the daemon
    // (or take it over) and receive its clients.
    const BOOL exclusive = TRUE;
    if (::setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                     sizeof(exclusive)) != 0)
        return ListenStep::Socket;
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

void AcceptConnections(const AcceptCall& accept, const ListenerClosed& closed,
                       const std::function<void(UniqueSocket)>& serve) {
    for (;;) {
        UniqueSocket connection(accept());
        if (!connection) {
            PrintText("Accept fail!\n");
            if (closed()) return;
            ::Sleep(kAcceptRetryPauseMs);
            continue;
        }
        KeepFromChildProcesses(connection.get());
        serve(std::move(connection));
    }
}
