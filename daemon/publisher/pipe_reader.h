#pragma once
#include <windows.h>

// Drains an encoder's output pipe and mirrors each piece to the debugger
// output. The argument is the pipe's read end; the reader owns it from then
// on and closes it once the pipe breaks. Returns 0.
DWORD WINAPI ThreadRecvPipeData(LPVOID readEnd);
