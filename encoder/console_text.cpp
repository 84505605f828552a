#include "encoder/console_text.h"

#include <windows.h>

void PrintError(const std::wstring& text) {
    const std::wstring line = L"QvShow: " + text + L"\r\n";
    const int n = ::WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr,
                                        nullptr);
    if (n <= 0) return;
    std::string bytes(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()), &bytes[0], n, nullptr, nullptr);
    DWORD written = 0;
    // One write, so the line reaches the daemon's pipe in one piece.
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
