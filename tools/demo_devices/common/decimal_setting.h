#pragma once
// A device setting given as a plain decimal number ("440", "2.5"), as on the
// command line and in the device's registry key.
#include <string>

// True with the number when `text` is digits with at most one point (no
// signs, exponents or "inf") and lies within [min, max].
bool ParseDecimalSetting(const std::wstring& text, double min, double max, double* value);
