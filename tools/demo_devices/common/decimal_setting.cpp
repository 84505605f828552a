#include "tools/demo_devices/common/decimal_setting.h"

#include <cwchar>

bool ParseDecimalSetting(const std::wstring& text, double min, double max, double* value) {
    if (text.empty() || text.size() > 32) return false;
    bool point = false;
    for (wchar_t c : text) {
        if (c == L'.' && !point) {
            point = true;
        } else if (c < L'0' || c > L'9') {
            return false;
        }
    }
    wchar_t* end = nullptr;
    const double number = std::wcstod(text.c_str(), &end);
    if (!end || *end != L'\0' || number < min || number > max) return false;
    *value = number;
    return true;
}
