#pragma once
// A TCP socket listening on the loopback address alone (127.0.0.1): only
// programs of this machine may drive the daemon. Bound for exclusive use, so
// that no other program can bind the port beside it.
#include <cstdint>

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
