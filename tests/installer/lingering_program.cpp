// Test-only program that runs until it is killed: the tests put it into
// the install folder as the ffmpeg.exe a user adds, to see that the
// installer ends such a process before it replaces files.
#include <windows.h>

int wmain() {
    ::Sleep(INFINITE);
    return 0;
}
