#pragma once
// (Re)starting the camera bridge with the chosen camera and microphone.
#include <string>

void runCamera(std::wstring videoDevice, std::wstring audioDevice);

// The bridge's whole command line: " -a \"audio\" -v \"video\"".
std::wstring BuildBridgeArguments(const std::wstring& videoDevice, const std::wstring& audioDevice);
