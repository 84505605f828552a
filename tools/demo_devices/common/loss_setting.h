#pragma once
// The webcam's simulated failures, as given on the command line and kept in
// the registry: seconds of streaming after which the device is gone
// (unplugged, and says so), or after which it stalls (delivers nothing more
// and says nothing, as a hung driver does).
#include <windows.h>
#include <strmif.h>

#include <string>

// From a tenth of a second (a test that wants it at once) to a day.
constexpr double kMinLoseAfterSeconds = 0.1;
constexpr double kMaxLoseAfterSeconds = 86400.0;

// True with the moment, in 100-ns units of stream time, when `text` is a
// number of seconds within the limits.
bool ParseLoseAfter(const std::wstring& text, REFERENCE_TIME* loseAt);

// From 0 (not one frame) to a day.
constexpr double kMaxStallAfterSeconds = 86400.0;
// The same for a stall; 0 is allowed, for a webcam that never delivers.
bool ParseStallAfter(const std::wstring& text, REFERENCE_TIME* stallAt);
