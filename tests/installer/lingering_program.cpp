// Test-only program that runs until it is killed: the tests put it into
// the install folder as the ffmpeg.exe a user adds, to see that the
// installer ends such a process before it replaces files; given a module's
// path, it holds that module loaded, as a capture program holds the camera.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && !::LoadLibraryW(argv[1])) return 1;
    ::Sleep(INFINITE);
    return 0;
}
