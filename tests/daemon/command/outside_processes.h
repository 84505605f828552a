#pragma once
// The processes named QvShow.exe and QvGraph.exe, seen from a test.
#include <windows.h>

#include <functional>
#include <string>

#include "tests/daemon/terminate_processes.h"

// Running processes of exactly this image name.
int CountProcesses(const std::wstring& imageName);
// Starts the program and forgets it; false when it could not start.
bool StartDetached(const std::wstring& path);

// Polls every 50 ms; true as soon as condition holds, false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Polls every 50 ms for the whole window; false as soon as condition fails.
// For "nothing happened": one look after a sleep could miss a short change.
bool HoldsThroughout(const std::function<bool()>& condition, DWORD windowMs);
