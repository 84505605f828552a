#include "tools/demo_devices/common/loss_setting.h"

#include "tools/demo_devices/common/decimal_setting.h"

bool ParseLoseAfter(const std::wstring& text, REFERENCE_TIME* loseAt) {
    double seconds = 0;
    if (!ParseDecimalSetting(text, kMinLoseAfterSeconds, kMaxLoseAfterSeconds, &seconds)) return false;
    *loseAt = static_cast<REFERENCE_TIME>(seconds * 10000000.0 + 0.5);
    return true;
}

bool ParseStallAfter(const std::wstring& text, REFERENCE_TIME* stallAt) {
    double seconds = 0;
    if (!ParseDecimalSetting(text, 0.0, kMaxStallAfterSeconds, &seconds)) return false;
    *stallAt = static_cast<REFERENCE_TIME>(seconds * 10000000.0 + 0.5);
    return true;
}
