#pragma once
// A command session over WebSocket: the same greeting, commands, replies,
// push-level announcements and end as on the command port, one message per
// text frame, in UTF-8.
#include "daemon/command/shared_socket.h"

#include <string>

// Runs after a successful handshake until the client is gone; received:
// the bytes that came behind the handshake. Closes the socket.
void RunWebSocketSession(SharedSocket& connection, std::string received);
