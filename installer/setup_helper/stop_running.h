#pragma once
// Ending a running QvPush before its files are replaced or removed: first
// the way its tray menu does (the daemon then stops its encoder and bridge
// itself), then by force for whatever still runs from the install folder.
#include <string>
#include <vector>

struct StopReport {
    int daemonsAsked = 0;       // daemon windows told to exit
    int daemonsExited = 0;      // of those, the ones that ended in time
    int terminated = 0;         // processes from the folder ended by force
    std::vector<std::wstring> stillRunning;  // images that would not end
};

StopReport StopRunningCopies(const std::wstring& installFolder);
