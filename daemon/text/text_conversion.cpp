#include "daemon/text/text_conversion.h"

#include <windows.h>

#include <vector>

namespace {

const UINT kGbkCodePage = 936;
const wchar_t kReplacement = 0xFFFD;

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Decodes one GBK character of 1 or 2 bytes; false when the code page has no
// mapping for it.
bool DecodeOne(const char* bytes, int count, wchar_t& out) {
    wchar_t unit[2] = {};
    int n = ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, bytes, count, unit, 2);
    if (n != 1) return false;
    out = unit[0];
    return true;
}

std::wstring CutAtNul(const std::wstring& s) { return s.substr(0, s.find(L'\0')); }

}  // namespace

std::string WideToNarrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    // Code page 936 is double-byte at most, so 2 bytes a unit always fit.
    std::vector<char> room(2 * wide.size() + 1, '\0');
    BOOL usedDefault = FALSE;
    // No best fit: Windows would otherwise map some characters without a GBK
    // form to a look-alike, and a look-alike of a double quote or a
    // backslash would step out of the quoting done before this conversion.
    int n = ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                  room.data(), static_cast<int>(room.size()) - 1, "?", &usedDefault);
    if (n <= 0) return std::string();
    return std::string(room.data());
}

std::wstring NarrowToWide(const std::string& narrow) {
    std::wstring out;
    out.reserve(narrow.size());
    const size_t size = narrow.size();
    for (size_t i = 0; i < size;) {
        const unsigned char b = static_cast<unsigned char>(narrow[i]);
        if (b == 0) break;
        if (b < 0x80) {
            out.push_back(static_cast<wchar_t>(b));
            ++i;
            continue;
        }
        wchar_t unit = 0;
        if (IsLeadByte(b) && i + 1 < size && IsTrailByte(static_cast<unsigned char>(narrow[i + 1])) &&
            DecodeOne(&narrow[i], 2, unit)) {
            out.push_back(unit);
            i += 2;
            continue;
        }
        // 0x80 is the euro sign in this code page; 0xFF and broken pairs are not text.
        if (!IsLeadByte(b) && DecodeOne(&narrow[i], 1, unit)) {
            out.push_back(unit);
        } else {
            out.push_back(kReplacement);
        }
        ++i;
    }
    return CutAtNul(out);
}
