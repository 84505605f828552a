#include "daemon/text/diagnostics.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <mutex>

namespace {

std::mutex& StdoutMutex() {
    static std::mutex m;
    return m;
}

void EnsureBinaryStdout() {
    static std::once_flag once;
    std::call_once(once, [] { _setmode(_fileno(stdout), _O_BINARY); });
}

}  // namespace

void PrintText(const std::string& text) {
    EnsureBinaryStdout();
    std::lock_guard<std::mutex> guard(StdoutMutex());
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

void PrintLine(const std::string& text) { PrintText(text + "\n"); }

void PrintFormat(const char* format, ...) {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n < 0) return;
    size_t length = static_cast<size_t>(n) < sizeof(buffer) ? static_cast<size_t>(n) : sizeof(buffer) - 1;
    PrintText(std::string(buffer, length));
}

void DebugText(const std::string& text) { ::OutputDebugStringA(text.c_str()); }

void DebugText(const std::wstring& text) { ::OutputDebugStringW(text.c_str()); }
