#pragma once
// The install folder as the installer takes it over: it must hold nothing
// but an earlier installation of ours, and it gets Program Files'
// protection on every object in it, because a machine-wide COM registration
// points into it and the next elevated setup runs its uninstaller.
#include <windows.h>

#include <string>
#include <vector>

// What every installation writes into its folder: the files it installed,
// one relative path a line (UTF-16). The uninstaller removes exactly these,
// as far as they are names the installer writes.
const wchar_t kInstalledFilesList[] = L"install.files";

// The fixed set of relative names the installer itself writes (the payload,
// its ".new" twins waiting for a restart, the uninstaller, the log, a
// carried FFmpeg and its texts). A list line outside it is never ours.
bool IsInstallerFileName(const std::wstring& relative);

// One object in the folder as the check sees it; the folder itself has an
// empty relative path.
struct FolderEntry {
    std::wstring relative;
    bool directory = false;
    bool reparsePoint = false;  // a junction, a symbolic link, a mount point
    bool trustedOwner = false;  // see folder_security.h
};

enum class Refusal { NotOurs, ReparsePoint, Owner };
struct RefusedEntry {
    std::wstring relative;  // folders end with a backslash; the folder itself is empty
    Refusal why = Refusal::NotOurs;
};

// The folder and everything below it, not entered through reparse points;
// empty when the folder does not exist.
std::vector<FolderEntry> ReadFolderEntries(const std::wstring& folder);

// The list's lines (UTF-16, a byte-order mark allowed); empty without a list.
std::vector<std::wstring> ReadInstalledList(const std::wstring& folder);

// Which entries make the folder not ours. `list` is the folder's
// install.files; `registered`: the folder Apps & Features records, where a
// version before the list left only the names it always installs. The log,
// the ffmpeg.exe users are asked to put there and a carried FFmpeg's texts
// are ours even without a list: an uninstallation or a rollback leaves them.
std::vector<RefusedEntry> RefusedEntries(const std::vector<FolderEntry>& entries, std::vector<std::wstring> list,
                                         bool registered);

// RefusedEntries of the folder on disk.
std::vector<RefusedEntry> CheckFolder(const std::wstring& folder, bool registered);

// Paths of every file below `folder`, relative to it, sorted.
std::vector<std::wstring> FilesBelow(const std::wstring& folder);

// Program Files' protection (folder_security.h) on the folder and every
// object below it. ERROR_SUCCESS, ERROR_REPARSE_TAG_INVALID where the folder
// holds a reparse point (nothing is changed then), or the first error.
DWORD ProtectFolder(const std::wstring& folder);
