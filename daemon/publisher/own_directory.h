#pragma once
#include <string>

// Directory of the running executable, without a trailing backslash.
std::wstring OwnDirectory();

// OwnDirectory, one backslash and the image name.
std::wstring OwnExecutablePath(const std::wstring& imageName);
