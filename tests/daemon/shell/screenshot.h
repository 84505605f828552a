#pragma once
// Screenshots of the X display the tests run on, saved as PNG among the
// build tree's test artifacts.
#include <string>

// Takes the whole screen now and waits until <artifact dir>/<fileName> is
// written; false with the reason otherwise.
bool SaveScreenshot(const std::wstring& fileName, std::string* error);
