#pragma once
// Starting the outside executables, each in a kill-on-close job the daemon
// holds (COwnedProcess).
#include "daemon/publisher/owned_process.h"
#include "daemon/publisher/pipe_reader.h"

#include <memory>
#include <string>

// Runs without a window and inherits no handles. An empty applicationPath
// lets the system take the executable from the front of commandLine. The
// daemon keeps the process (ended when the daemon ends) until it has ended.
bool LaunchProcess(const std::wstring& applicationPath, const std::wstring& commandLine);

// Runs "executablePath arguments" hidden (the path in quotes if it holds a
// blank), with standard output and standard error on a new pipe drained by
// ThreadRecvPipeData and standard input on the NUL device; the process
// inherits those two handles and no other. The output is mirrored to the
// debugger output as the encoder's. True when the process was created and
// its reader started.
bool LaunchWithOutputPipe(const std::wstring& executablePath, const std::wstring& arguments);

// The same, with the output handed to `watcher`, the process kept in `owned`.
// applicationPath may be empty (the command line names the program).
// creationFlags: CREATE_NO_WINDOW for the bridge, 0 for the encoder.
bool LaunchWatched(const std::wstring& applicationPath, const std::wstring& commandLine, DWORD creationFlags,
                   std::unique_ptr<COutputWatcher> watcher, COwnedProcess& owned);

// The encoder's command line: the path (quoted only if it holds a blank),
// one space, the arguments.
std::wstring EncoderCommandLine(const std::wstring& executablePath, const std::wstring& arguments);

