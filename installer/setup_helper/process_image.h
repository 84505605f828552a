#pragma once
// Which program a process runs, by the full path of its image, so that the
// installer touches only what was started from its own folder.
#include <windows.h>

#include <string>
#include <vector>

// Full Win32 path of the process's image; empty when the process is gone or
// may not be queried.
std::wstring ProcessImagePath(DWORD processId);

// The file name part of a path ("C:\a\b.exe" -> "b.exe").
std::wstring FileNamePart(const std::wstring& path);

// Case-insensitive, as the file system compares names.
bool SameFileName(const std::wstring& a, const std::wstring& b);

// Folder path in long form with one trailing backslash, for prefix tests.
std::wstring NormalizedFolder(const std::wstring& folder);

// Processes whose image lies directly in `folder` (normalized) and whose
// file name is one of `imageNames`.
std::vector<DWORD> ProcessesStartedFrom(const std::wstring& folder, const std::vector<std::wstring>& imageNames);
