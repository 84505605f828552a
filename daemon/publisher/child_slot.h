#pragma once
// The one encoder and the one bridge the daemon runs: the process it
// started, and how the supervisor treats its loss. Used only under the
// launch lock of its image name.
#include "common/owned_process.h"
#include "daemon/publisher/restart_backoff.h"

#include <windows.h>

#include <string>

struct CChildSlot {
    COwnedProcess process;
    CRestartBackoff backoff;
    // The end of `process` has been seen and answered.
    bool lossSeen = false;
    // A set-up failure: nothing is started again until the next command.
    bool gaveUp = false;
    // The launch in `process` is the first after a command: a set-up failure
    // of it is the command's fault. A relaunch's is a passing state (the
    // camera not back yet after sleep or a USB reset) and is retried.
    bool commanded = false;
    ULONGLONG nextStartTick = 0;
};

// The slot of "QvShow.exe" or "QvGraph.exe"; any other name gets a slot of
// its own that nothing launches into.
CChildSlot& ChildSlot(const std::wstring& imageName);

// How long a launch waits for the executable it replaces to be gone.
const DWORD kStopWaitMs = 3000;
// How long StopExecutable waits for one executable: a stop ends the
// encoder and the bridge one after the other, and is answered within 3 s.
const DWORD kStopStepMs = kStopWaitMs / 2;

// The stop sequence of an executable: ends the slot's process and the
// leftovers of its image name, all waits under one deadline of budgetMs,
// and forgets the process. True when anything was running.
bool EndExecutable(const std::wstring& imageName, CChildSlot& slot, DWORD budgetMs);
