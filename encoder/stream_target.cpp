#include "encoder/stream_target.h"

#include <cwctype>

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t i = 0;
    for (; prefix[i] != L'\0'; ++i) {
        // Only ASCII letters fold: no locale may turn another character
        // into one of the scheme's.
        if (i >= text.size() || text[i] > 0x7F || std::towlower(text[i]) != prefix[i]) return false;
    }
    return text.size() > i;
}

}  // namespace

bool IsStreamTarget(const std::wstring& target) {
    return StartsWithNoCase(target, L"rtmp://") || StartsWithNoCase(target, L"rtmps://");
}
