#pragma once
// Starting the encoder with the preset of the push level; stopping either
// outside executable.
#include <windows.h>

#include <string>

// A client's start: earlier failures are forgotten and the back-off starts anew.
void RunPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl);
// The supervisor's restart of a lost encoder: the back-off goes on.
void RelaunchPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl);

// Ends the executable the daemon started under this image name (and any
// leftover of an earlier daemon of this folder) and waits, 3 s at most,
// until it is gone; withdraws it from the supervisor's care.
void StopExecutable(std::wstring imageName);
// The same with every wait, the launch lock's included, ending at
// deadlineTick (GetTickCount64); past it the process is ended without a wait.
void StopExecutable(std::wstring imageName, ULONGLONG deadlineTick);

// A client's stop: the encoder, then the bridge, under one deadline of 3 s
// for everything, so that the answer is never later than that.
void StopEncoderAndBridge();
