#include "tools/demo_devices/tool/console_text.h"

#include <windows.h>

namespace {

void WriteLine(DWORD which, const std::wstring& text) {
    const HANDLE stream = ::GetStdHandle(which);
    if (!stream || stream == INVALID_HANDLE_VALUE) return;
    const std::wstring line = text + L"\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(stream, &mode) &&
        ::WriteConsoleW(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        return;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                            nullptr, nullptr);
    if (bytes <= 0) return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &utf8[0], bytes, nullptr, nullptr);
    ::WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

void PrintOutLine(const std::wstring& text) { WriteLine(STD_OUTPUT_HANDLE, text); }

void PrintErrorLine(const std::wstring& text) { WriteLine(STD_ERROR_HANDLE, text); }
