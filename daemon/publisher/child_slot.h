#pragma once
// The one encoder and the one bridge the daemon runs: the process it
// started, and how the supervisor treats its loss. Used only under the
// launch lock of its image name.
#include "daemon/publisher/owned_process.h"
#include "daemon/publisher/restart_backoff.h"

#include <string>

struct CChildSlot {
    COwnedProcess process;
    CRestartBackoff backoff;
    // The end of `process` has been seen and answered.
    bool lossSeen = false;
    // A set-up failure: nothing is started again until the next command.
    bool gaveUp = false;
    ULONGLONG nextStartTick = 0;
};

// The slot of "QvShow.exe" or "QvGraph.exe"; any other name gets a slot of
// its own that nothing launches into.
CChildSlot& ChildSlot(const std::wstring& imageName);

// How long a stop waits for what it ended to be gone.
const DWORD kStopWaitMs = 3000;
