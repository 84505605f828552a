#pragma once
#include <string>
#include <vector>

// Friendly names (ANSI code page) of the audio capture devices that run,
// joined by "$"; empty when none works.
void BuildAudioDeviceList(std::string& text);

// The device-list text of names that were listed already.
std::string JoinAnsiDeviceNames(const std::vector<std::wstring>& names);
