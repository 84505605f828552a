#pragma once
// Minimal thread object: init, run and exit on a thread of its own.
#include "common/non_copyable.h"

class ct_thread : private CNonCopyable {
public:
    ct_thread() = default;
    virtual ~ct_thread() = default;

    // The thread body runs only when init returns true.
    virtual bool init() { return true; }
    virtual void run() = 0;
    // Runs after run, and also when init failed.
    virtual void exit() {}

    // Starts the thread (_beginthread, default stack size). After success an
    // object with autoDelete set belongs to its thread, which deletes it.
    bool Start();

    bool autoDelete = false;

private:
    static void __cdecl EntryRoutine(void* object);
};
