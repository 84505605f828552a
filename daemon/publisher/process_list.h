#pragma once
// Finding and killing processes by exact, case-sensitive image name.
#include <string>
#include <vector>

// Whether at least one running process has this image name.
bool FindProcessByName(const std::wstring& imageName);

// The ids of the processes of this image name, in the process list's order.
std::vector<unsigned long> ProcessIdsByName(const std::wstring& imageName);

// Asks every process of this image name to terminate (exit code 4) without
// waiting for it; true when at least one matched.
bool KillProcessesByName(const std::wstring& imageName);
