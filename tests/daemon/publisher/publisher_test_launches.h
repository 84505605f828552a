#pragma once
// What only the publisher's tests call: finding and killing processes by
// exact, case-sensitive image name, and starting programs as the daemon
// starts its own, kept (and so ended with the test program) until they end.
#include <string>

// Whether at least one running process has this image name.
bool FindProcessByName(const std::wstring& imageName);

// Asks every process of this image name to terminate (exit code 4) without
// waiting for it; true when at least one matched.
bool KillProcessesByName(const std::wstring& imageName);

// Runs without a window and inherits no handles. An empty applicationPath
// lets the system take the executable from the front of commandLine.
bool LaunchProcess(const std::wstring& applicationPath, const std::wstring& commandLine);

// Runs "executablePath arguments" as the daemon runs the encoder (LaunchWatched):
// the output mirrored to the debugger output as the encoder's, but counted
// for no launch's status. True when the process was created and its reader
// started.
bool LaunchWithOutputPipe(const std::wstring& executablePath, const std::wstring& arguments);
