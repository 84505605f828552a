#pragma once
// The install folder as the installer takes it over: it must hold nothing
// but an earlier installation of ours, and outside Program Files it gets
// Program Files' protection, because a machine-wide COM registration points
// into it and the next elevated setup runs its uninstaller.
#include <windows.h>

#include <string>
#include <vector>

// What every installation writes into its folder: the files it installed,
// one relative path a line (UTF-16). The uninstaller
// removes exactly these.
const wchar_t kInstalledFilesList[] = L"install.files";

// Paths of every file below `folder`, relative to it, sorted.
std::vector<std::wstring> FilesBelow(const std::wstring& folder);

// Files below `folder` (relative paths) that are not ours: those our list
// in the folder does not name, except the ffmpeg.exe that users are asked
// to put there. Without a list every file is foreign, unless the folder is
// the one Apps & Features records (`registered`): a version before the list
// left only the names it always installs.
std::vector<std::wstring> ForeignFiles(const std::wstring& folder, bool registered);

// Administrators and SYSTEM full control, users read and execute, nothing
// inherited from above, owned by the administrators; for the folder and
// everything below it. ERROR_SUCCESS or the error.
DWORD ProtectFolder(const std::wstring& folder);
