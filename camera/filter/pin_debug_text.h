#pragma once
// The pin's debugger texts go through here, so there is one place that
// writes them.
#include <windows.h>

inline void PinDebugText(const char* text) { ::OutputDebugStringA(text); }
