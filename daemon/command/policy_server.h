#pragma once
// The Flash runtime's socket policy on port 19722.
#include <windows.h>

const unsigned short kPolicyPort = 19722;

// Thread procedure: serves one request per connection, one connection at a
// time, for the life of the process; returns (DWORD)-1 on a socket failure.
DWORD WINAPI PolicyServer(LPVOID unused);
