#pragma once
// A TCP client of the daemon's ports on 127.0.0.1.
#include "daemon/command/unique_socket.h"

#include <string>

// Starts Windows Sockets for the test program's lifetime.
void StartSockets();
// Connected socket, or an invalid one when the port refused.
UniqueSocket ConnectLoopback(unsigned short port);
bool SendBytes(SOCKET socket, const std::string& bytes);
// Bytes up to and without the next NUL; false when none came within timeoutMs.
bool ReceiveMessage(SOCKET socket, std::string* message, DWORD timeoutMs = 15000);
