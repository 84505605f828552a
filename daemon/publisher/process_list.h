#pragma once
// Finding and killing processes by exact, case-sensitive image name.
#include <string>

// Whether at least one running process has this image name.
bool FindProcessByName(const std::wstring& imageName);

// Asks every process of this image name to terminate (exit code 4) without
// waiting for it; true when at least one matched.
bool KillProcessesByName(const std::wstring& imageName);
