#pragma once
// The Flash runtime's socket policy on port 19722.
#include <windows.h>

const unsigned short kPolicyPort = 19722;

// Thread procedure: serves one request per connection for the life of the
// process; returns (DWORD)-1 only when the port cannot be opened. A failed
// accept is logged and passed over.
DWORD WINAPI PolicyServer(LPVOID unused);
