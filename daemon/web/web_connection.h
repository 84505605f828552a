#pragma once
// One connection to the web endpoint, on a thread of its own: a request for
// the control page's files, or the upgrade to a WebSocket command session.
#include <windows.h>

#include <memory>

#include "daemon/command/shared_socket.h"
#include "daemon/web/open_connections.h"

// How long a client may take to send its request head. A client that sends
// part of it and goes silent holds nothing but its own thread meanwhile.
const DWORD kRequestHeadTimeoutMs = 10000;

// Thread procedure; parameter from MakeWebConnectionParameter. Removes the
// connection from `open` and closes it when done.
DWORD WINAPI WebConnection(LPVOID parameter);
LPVOID MakeWebConnectionParameter(std::shared_ptr<SharedSocket> connection, OpenConnections& open);
void FreeWebConnectionParameter(LPVOID parameter);
