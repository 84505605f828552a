#pragma once
// What the daemon makes of the end of QvShow.exe or QvGraph.exe: the codes
// and their texts are the children's own (common/child_exit_codes.h).
#include <windows.h>

#include <string>

// A set-up failure: it cannot heal by trying again.
bool IsSetupFailure(const std::wstring& imageName, DWORD exitCode);

// The daemon's own words for an exit code, in English (the page translates
// by code); "ended with code N" for codes that are not ours (FFmpeg's).
std::string ExitReason(const std::wstring& imageName, DWORD exitCode);

// The executable is not there or is no program (CreateProcess's error):
// starting it again cannot help.
bool IsMissingProgram(DWORD startError);
// Words for a start that failed with this system error.
std::string StartFailureReason(const std::wstring& imageName, DWORD startError);
