#pragma once
// (Re)starting the camera bridge with the chosen camera and microphone.
#include <string>

// A client's preview: earlier failures are forgotten and the back-off starts anew.
void runCamera(std::wstring videoDevice, std::wstring audioDevice);
// The supervisor's restart of a lost bridge: the back-off goes on.
void RelaunchCamera(std::wstring videoDevice, std::wstring audioDevice);

// The bridge's whole command line: " -a \"audio\" -v \"video\"".
std::wstring BuildBridgeArguments(const std::wstring& videoDevice, const std::wstring& audioDevice);
