#pragma once
// File operations Windows carries out at the next restart
// (PendingFileRenameOperations). An uninstallation with the camera in use
// queues the deletion of its files; a setup that wrote new files at those
// paths before the restart would see them deleted at it.
#include <string>
#include <vector>

// The queued operations (source or target) that lie in `folder`, as Win32
// paths; empty when none does.
std::vector<std::wstring> PendingOperationsIn(const std::wstring& folder);

// The same on the value's text (REG_MULTI_SZ pairs of NT paths, "\??\C:\...",
// and targets, empty for a deletion): the part that can be tested without
// queueing anything.
std::vector<std::wstring> PendingPathsIn(const std::wstring& multiString, const std::wstring& folder);
