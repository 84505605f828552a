#include "daemon/text/utf8_text.h"

#include <windows.h>

namespace {

std::wstring ToWide(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) ::MultiByteToWideChar(codePage, 0, bytes.data(), size, &wide[0], units);
    return wide;
}

// Number of continuation bytes a lead byte announces, and the range the
// second byte must lie in so that the form is neither overlong, a surrogate
// nor beyond U+10FFFF. False for a byte that cannot lead.
bool LeadRule(unsigned char lead, int& continuations, unsigned char& low, unsigned char& high) {
    low = 0x80;
    high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) continuations = 1;
    else if (lead >= 0xE0 && lead <= 0xEF) continuations = 2;
    else if (lead >= 0xF0 && lead <= 0xF4) continuations = 3;
    else return false;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    return true;
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int continuations = 0;
        unsigned char low = 0, high = 0;
        if (!LeadRule(lead, continuations, low, high) || size - i <= static_cast<size_t>(continuations)) return false;
        const unsigned char second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high) return false;
        for (int k = 2; k <= continuations; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += static_cast<size_t>(continuations) + 1;
    }
    return true;
}

std::string WideToUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int units = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

std::wstring Utf8ToWide(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }

std::string BytesAsUtf8(const std::string& bytes) {
    if (IsValidUtf8(bytes)) return bytes;
    return WideToUtf8(ToWide(CP_ACP, bytes));
}
