#pragma once
// A TCP socket listening on all local interfaces (0.0.0.0).
#include <cstdint>

#include "daemon/command/unique_socket.h"

// Which step failed; Done when the socket listens.
enum class ListenStep { Done, Socket, Bind, Listen };

ListenStep OpenListeningSocket(uint16_t port, int backlog, UniqueSocket& listening);
