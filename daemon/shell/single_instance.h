#pragma once
// Only the first running copy of the daemon starts the services; later
// copies stay as tray icons without them.

// Named mutex that marks the first copy.
extern const wchar_t kSingleInstanceMutexName[];

// Creates the mutex (kept open for the life of the process) and, on the
// first copy only, starts the services.
void StartIfFirstInstance();
