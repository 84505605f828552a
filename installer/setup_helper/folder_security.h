#pragma once
// Who may change the install folder. A machine-wide camera registration
// points into it and elevated setups run from it, so every object in it must
// belong to an administrator's account, and it must not lead elsewhere
// (a junction or another reparse point would send our writes and deletes
// into a folder its maker chose).
#include <windows.h>

#include <string>

// True for the owners an ordinary user cannot be: the Administrators
// group, SYSTEM, TrustedInstaller, and `setupUser` (the account this setup
// runs as, given only when it is an administrator; null otherwise).
bool IsTrustedOwner(PSID owner, PSID setupUser);

// The owner of `path` is trusted (as above, with this process's account
// when it is an administrator); false when it cannot be read.
bool HasTrustedOwner(const std::wstring& path);

// True when `acl` lets no one but the trusted owners above (and CREATOR
// OWNER, which stands for them here) write, delete or change permissions or
// owner; a null DACL lets everyone.
bool OnlyTrustedCanChange(PACL acl, PSID setupUser);

// The same for the DACL of `path`; false when it cannot be read.
bool HasTrustedDacl(const std::wstring& path);

// Administrators and SYSTEM full control, users read and execute, nothing
// inherited from above, owned by the administrators, on `path` alone.
DWORD ProtectObject(const std::wstring& path);

// Makes a new folder below `parent` that only administrators and SYSTEM
// can change, with a name nobody could have taken first: it is created
// here, never reused. The full path, or empty (with the error in `error`).
std::wstring CreatePrivateFolder(const std::wstring& parent, const std::wstring& prefix, DWORD& error);

// Deletes `folder` and what it holds (one level of subfolders and below);
// files still in use are left for the next restart.
void RemoveFolderTree(const std::wstring& folder);
