#pragma once
// Wall-clock pacing of a live source. A capture device produces nothing
// while its graph is paused and hands each buffer out only once the moment
// it covers has come, so stream time runs with the wall clock from the first
// Run on and stands still while the graph pauses in between.
#include <windows.h>
#include <strmif.h>

#include <atomic>

#include "common/non_copyable.h"
#include "common/unique_handle.h"

class CLivePacer : private CNonCopyable {
public:
    CLivePacer();

    // The pin became active: the stream starts again at time 0 with the next Run.
    void Activate();
    // The filter runs: stream time goes on from where it stood.
    void Run();
    // The filter pauses after running: stream time stops.
    void Pause();
    // The pin is being stopped: every wait ends at once.
    void Halt();

    // Waits until stream time `due` (100-ns units) has come on the wall
    // clock; false when Halt ended the wait.
    bool WaitUntil(REFERENCE_TIME due);
    // Waits for Halt, however long the stream runs or pauses before it.
    void WaitUntilHalted();

private:
    UniqueHandle m_running;  // manual reset: set while running
    UniqueHandle m_halted;   // manual reset: set from Halt to Activate
    // timeGetTime() at stream time 0, moved on by every pause.
    std::atomic<DWORD> m_originMs{0};
    DWORD m_pausedAtMs = 0;
    bool m_started = false;
};
