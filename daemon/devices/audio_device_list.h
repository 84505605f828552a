#pragma once
#include <string>

// Friendly names (ANSI code page) of the audio capture devices that run,
// joined by "$"; empty when none works.
void BuildAudioDeviceList(std::string& text);
