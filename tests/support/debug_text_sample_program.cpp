// Test program: writes known texts to standard output and the debugger
// output, so the capture helpers can be checked against them.
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::wstring mode = argc > 1 ? argv[1] : L"";
    char gbk[64] = {};
    ::WideCharToMultiByte(936, 0, L"ZrDaemon_第一个实例启动", -1, gbk, sizeof(gbk), nullptr, nullptr);
    ::OutputDebugStringA(gbk);
    ::OutputDebugStringW(L"宽字符 text");
    ::OutputDebugStringA("third");
    fwrite("printed\r\n", 1, 9, stdout);
    fflush(stdout);
    if (mode == L"wait") ::Sleep(INFINITE);
    if (mode == L"spawn") {
        // Leaves a waiting copy behind that holds our standard output.
        std::wstring line = L"\"" + std::wstring(argv[0]) + L"\" wait";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return 1;
        std::printf("child %lu\n", pi.dwProcessId);
        fflush(stdout);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    return 7;
}
