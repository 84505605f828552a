#pragma once
// Starting the outside executables. Nothing of a started process is kept.
#include <string>

// Runs without a window and inherits no handles. An empty applicationPath
// lets the system take the executable from the front of commandLine.
bool LaunchProcess(const std::wstring& applicationPath, const std::wstring& commandLine);

// Runs "executablePath arguments" hidden (the path in quotes if it holds a
// blank), with standard output and standard error on a new pipe drained by
// ThreadRecvPipeData and standard input on the NUL device; the process
// inherits those two handles and no other. True when the process was created
// and its reader started.
bool LaunchWithOutputPipe(const std::wstring& executablePath, const std::wstring& arguments);
