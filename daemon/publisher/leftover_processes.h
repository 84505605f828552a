#pragma once
// Executables an earlier daemon left running (it crashed on a Windows that
// could not hold them in its job, say). Only processes whose image lies in
// this daemon's own folder and that run in this daemon's session count:
// another installation's QvShow.exe, or another user's, is none of ours.
#include <windows.h>

#include <string>
#include <vector>

// The ids of such processes of this image name, `ownId` left out.
std::vector<DWORD> LeftoverProcesses(const std::wstring& imageName, DWORD ownId);

// Ends them (kExitKilledByDaemon) and waits, at most timeoutMs in all, until they
// are gone. True when there were any.
bool EndLeftovers(const std::wstring& imageName, DWORD ownId, DWORD timeoutMs);
