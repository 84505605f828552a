#include "tools/demo_devices/common/tone_setting.h"

#include "tools/demo_devices/common/decimal_setting.h"

bool ParseTone(const std::wstring& text, double* hz) { return ParseDecimalSetting(text, kMinToneHz, kMaxToneHz, hz); }
