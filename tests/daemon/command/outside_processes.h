#pragma once
// The processes named QvShow.exe and QvGraph.exe, seen from a test.
#include <windows.h>

#include <functional>
#include <string>

// Running processes of exactly this image name.
int CountProcesses(const std::wstring& imageName);
void KillProcesses(const std::wstring& imageName);
// Starts the program and forgets it; false when it could not start.
bool StartDetached(const std::wstring& path);

// Polls every 50 ms; true as soon as condition holds, false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
