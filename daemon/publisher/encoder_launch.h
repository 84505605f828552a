#pragma once
// Starting the encoder with the preset of the push level; stopping either
// outside executable.
#include <string>

// A client's start: earlier failures are forgotten and the back-off starts anew.
void RunPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl);
// The supervisor's restart of a lost encoder: the back-off goes on.
void RelaunchPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl);

// Ends the executable the daemon started under this image name (and any
// leftover of an earlier daemon of this folder) and waits, 3 s at most,
// until it is gone; withdraws it from the supervisor's care.
void StopExecutable(std::wstring imageName);
