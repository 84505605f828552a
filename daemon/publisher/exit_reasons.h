#pragma once
// What the exit codes of QvShow.exe and QvGraph.exe say. Set-up failures
// (a refused command line, no ffmpeg.exe, an unknown camera, no QvCamera)
// cannot heal by trying again: the daemon gives up until the next command.
#include <windows.h>

#include <string>

bool IsSetupFailure(const std::wstring& imageName, DWORD exitCode);

// The daemon's own words for an exit code, in English (the page translates
// by code); "ended with code N" for codes that are not ours (FFmpeg's).
std::string ExitReason(const std::wstring& imageName, DWORD exitCode);
