#pragma once
#include <windows.h>

// Brings wanted executables back every 500 ms. stopEvent: a manual-reset
// event handle; once it is signalled the loop returns 0 between cycles (never
// while it holds a lock). A null argument runs until the process ends.
DWORD WINAPI ThreadSupervisor(LPVOID stopEvent);
