#pragma once
#include <string>

// Removes a directory and everything in it (path with trailing backslash).
// Files of programs that were just killed are retried for a few seconds, as
// such a program may hold its image a moment longer.
void RemoveTree(const std::wstring& dir);
