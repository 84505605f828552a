#include "bridge/bridge_diagnostics.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

// Raw bytes: a console's code page would garble the device names, and a
// pipe (what tests and the daemon's tools give us) takes bytes unchanged.
void WriteLine(FILE* stream, const std::wstring& line) {
    std::string bytes = ToUtf8(line) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
    ::OutputDebugStringW((line + L"\n").c_str());
}

}  // namespace

void ReportLine(const std::wstring& line) { WriteLine(stderr, line); }

void AnnounceLine(const std::wstring& line) { WriteLine(stdout, line); }

std::wstring HresultText(long result) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
    return text;
}
