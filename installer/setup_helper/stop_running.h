#pragma once
// Ending a running QvPush before its files are replaced or removed: first
// the way its tray menu does (the daemon then stops its encoder and bridge
// itself), then by force for whatever still runs from the install folder.
#include <windows.h>

#include <string>
#include <vector>

struct StopReport {
    int daemonsAsked = 0;       // daemon windows told to exit
    int daemonsExited = 0;      // of those, the ones that ended in time
    int terminated = 0;         // processes from the folder ended by force
    std::vector<std::wstring> stillRunning;  // images that would not end
};

// As SYSTEM (a deployment tool) the daemon's window is on the user's
// desktop, out of reach: the asking is done by `askExit`, a copy of this
// helper run in the user's session as that user, before anything is forced.
StopReport StopRunningCopies(const std::wstring& installFolder, const std::wstring& askExit);

// The asking alone, on this desktop: every daemon window told to exit,
// then waited for. Fills daemonsAsked and daemonsExited.
void AskDaemonsToExit(StopReport& report);

// How a run of the asking alone reports back through its exit code.
DWORD AskedExitCode(const StopReport& report);
void FromAskedExitCode(DWORD exitCode, StopReport& report);
