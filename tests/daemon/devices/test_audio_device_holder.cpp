// Test-only program: registers test microphones (that run) under the names
// given as arguments, prints "registered" and keeps them until its standard
// input ends, then unregisters them. Lets a test on the Linux side give the
// daemon's greeting devices to list.
#include "tests/daemon/devices/test_audio_devices.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    ::CoInitialize(nullptr);
    RemoveTestAudioLeftovers();
    std::vector<TestAudioDevice> devices;
    for (int i = 1; i < argc; ++i) devices.push_back({TestAudioKind::Runs, argv[i]});
    TestAudioDevices registered;
    const HRESULT hr = registered.Register(devices);
    printf(hr == S_OK ? "registered\n" : "failed 0x%08lx\n", static_cast<unsigned long>(hr));
    fflush(stdout);
    if (hr == S_OK) {
        char discard[256];
        DWORD read = 0;
        while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), discard, sizeof(discard), &read, nullptr) && read > 0) {
        }
    }
    registered.Unregister();
    ::CoUninitialize();
    return hr == S_OK ? 0 : 1;
}
