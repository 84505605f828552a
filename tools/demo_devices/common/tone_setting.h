#pragma once
// The microphone's tone, as given on the command line and kept in the
// registry: a frequency in hertz, decimals allowed.
#include <string>

constexpr double kDefaultToneHz = 440.0;
// Audible and well below the Nyquist frequency of 44,100 samples a second.
constexpr double kMinToneHz = 20.0;
constexpr double kMaxToneHz = 20000.0;

// True with the frequency when `text` is a number within the limits.
bool ParseTone(const std::wstring& text, double* hz);
