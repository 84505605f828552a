#pragma once
// A TCP socket listening on the loopback address alone (127.0.0.1): only
// programs of this machine may drive the daemon. Bound for exclusive use, so
// that no other program can bind the port beside it.
#include <cstdint>
#include <functional>

#include "daemon/command/unique_socket.h"

// Which step failed; Done when the socket listens.
enum class ListenStep { Done, Socket, Bind, Listen };

ListenStep OpenListeningSocket(uint16_t port, int backlog, UniqueSocket& listening);

// Keeps a socket of the daemon out of the processes it starts. The encoder
// is started with inherited handles (for its output pipe), and a socket it
// inherited would outlive the daemon's own close: the client would not see
// its session end, and the ports would stay taken after the daemon is gone.
void KeepFromChildProcesses(SOCKET socket);

// After a failed accept or set-up of one connection: the listener logs it,
// pauses this long so that a lasting failure does not spin, and goes on.
const DWORD kAcceptRetryPauseMs = 100;

// Takes the next connection of a listener; INVALID_SOCKET when it failed.
using AcceptCall = std::function<SOCKET()>;

// Whether the listener itself was closed, i.e. the shutdown runs.
using ListenerClosed = std::function<bool()>;

// Hands each accepted connection to serve, kept from child processes.
// A failed accept is one connection's failure (a connection reset while
// queued, a shortage of buffers): it is logged, the loop pauses and goes on,
// and a live publish outlasts it. Returns only once closed() says so after a
// failed accept.
void AcceptConnections(const AcceptCall& accept, const ListenerClosed& closed,
                       const std::function<void(UniqueSocket)>& serve);
