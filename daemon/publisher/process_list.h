#pragma once
// Finding processes by exact, case-sensitive image name.
#include <string>
#include <vector>

// The ids of the processes of this image name, in the process list's order.
std::vector<unsigned long> ProcessIdsByName(const std::wstring& imageName);
