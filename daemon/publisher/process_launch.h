#pragma once
// Starting the outside executables, each in a kill-on-close job the daemon
// holds (COwnedProcess).
#include "common/owned_process.h"
#include "daemon/publisher/pipe_reader.h"

#include <memory>
#include <string>

// Runs "executablePath arguments" hidden (the path in quotes if it holds a
// blank), with standard output and standard error on a new pipe drained by
// ThreadRecvPipeData and standard input on the NUL device; the process
// inherits those two handles and no other. The output goes to `watcher`, the
// process into `owned`. applicationPath may be empty (the command line names
// the program). creationFlags: CREATE_NO_WINDOW for the bridge, 0 for the
// encoder. True when the process was created and its reader started; when
// the process was not created, owned.StartError() says why.
bool LaunchWatched(const std::wstring& applicationPath, const std::wstring& commandLine, DWORD creationFlags,
                   std::unique_ptr<COutputWatcher> watcher, COwnedProcess& owned);

// The encoder's command line: the path (quoted only if it holds a blank),
// one space, the arguments.
std::wstring EncoderCommandLine(const std::wstring& executablePath, const std::wstring& arguments);

