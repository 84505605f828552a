#pragma once
// Starting the encoder with the preset of the push level; stopping either
// outside executable by image name.
#include <string>

void RunPublish(std::wstring videoDevice, std::wstring audioDevice, std::wstring streamUrl);
void StopExecutable(std::wstring imageName);
