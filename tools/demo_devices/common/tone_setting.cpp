#include "tools/demo_devices/common/tone_setting.h"

#include <cwchar>

bool ParseTone(const std::wstring& text, double* hz) {
    if (text.empty() || text.size() > 32) return false;
    // Digits and at most one point: no signs, exponents or "inf".
    bool point = false;
    for (wchar_t c : text) {
        if (c == L'.' && !point) {
            point = true;
        } else if (c < L'0' || c > L'9') {
            return false;
        }
    }
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    if (!end || *end != L'\0' || value < kMinToneHz || value > kMaxToneHz) return false;
    *hz = value;
    return true;
}
