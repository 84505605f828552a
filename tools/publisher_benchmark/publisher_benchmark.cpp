// Prints two figures of the supervisor: its processor time while it has
// nothing to do (both wanted flags false), and the time from an encoder's
// death to its replacement being listed as running.
//
// The supervisor starts "QvShow.exe" from its program's own directory, so
// the benchmark copies itself into a fresh directory twice, as
// publisher_benchmark.exe and as QvShow.exe, and runs the first copy; the
// second one, started as the encoder, only waits to be killed.
//
//   publisher_benchmark [idle-seconds [restarts]]     defaults: 10 and 10
#include "common/unique_handle.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/own_directory.h"
#include "daemon/publisher/process_list.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/supervisor.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kMeasureSwitch[] = L"--measure";

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path;
}

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Process ids listed under this image name.
std::vector<DWORD> Listed(const wchar_t* imageName) {
    std::vector<unsigned long> ids = ProcessIdsByName(imageName);
    return std::vector<DWORD>(ids.begin(), ids.end());
}

void KillAndWait(DWORD processId) {
    UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return;
    ::TerminateProcess(process.get(), 5);
    ::WaitForSingleObject(process.get(), 5000);
}

double ThreadCpuSeconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
    return Seconds(kernel) + Seconds(user);
}

void MeasureIdle(int seconds) {
    PublishState& state = ThePublishState();
    state.bridgeWanted = false;
    state.publishingWanted = false;
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle thread(::CreateThread(nullptr, 0, ThreadSupervisor, stop.get(), 0, nullptr));
    double start = Now();
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    double cpu = ThreadCpuSeconds(thread.get());
    ULONG64 cycles = 0;
    BOOL haveCycles = ::QueryThreadCycleTime(thread.get(), &cycles);
    double wall = Now() - start;
    ::SetEvent(stop.get());
    ::WaitForSingleObject(thread.get(), 5000);
    if (cpu < 0) {
        printf("supervisor idle: thread times not available\n");
        return;
    }
    printf("supervisor idle, both flags false: %.3f ms processor time in %.1f s = %.3f ms per minute",
           cpu * 1000, wall, cpu * 1000 * 60 / wall);
    // Thread times advance in clock ticks (10 ms under Wine); a zero means less than that.
    if (cpu == 0) printf(" (below the resolution of the thread clock)");
    printf("\n");
    if (haveCycles && cycles > 0)
        printf("supervisor idle: %llu processor cycles in %.1f s = %.0f cycles per minute\n",
               static_cast<unsigned long long>(cycles), wall, static_cast<double>(cycles) * 60 / wall);
}

void MeasureRestarts(int restarts) {
    PublishState& state = ThePublishState();
    state.SetAudioDevice(L"Benchmark Mic");
    state.SetStreamUrl(L"rtmp://127.0.0.1/kavo/bench?k=0&t=0");
    state.SetPushLevel(0);
    // Started as a client's start would, then left to the supervisor.
    RunPublish(kVirtualCameraName, state.GetAudioDevice(), state.GetStreamUrl());
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle thread(::CreateThread(nullptr, 0, ThreadSupervisor, stop.get(), 0, nullptr));

    std::vector<double> delays;
    srand(::GetTickCount());
    for (int i = 0; i < restarts; ++i) {
        std::vector<DWORD> running = Listed(kEncoderImageName);
        if (running.size() != 1) {
            printf("restart %d: %zu encoders listed, expected 1\n", i, running.size());
            break;
        }
        // Deaths fall at any point of the supervisor's cycle.
        ::Sleep(static_cast<DWORD>(rand() % 500));
        double died = Now();
        KillAndWait(running[0]);
        double back = -1;
        while (Now() - died < 10) {
            std::vector<DWORD> now = Listed(kEncoderImageName);
            if (!now.empty() && now[0] != running[0]) {
                back = Now();
                break;
            }
            ::Sleep(1);
        }
        if (back < 0) {
            printf("restart %d: no replacement within 10 s\n", i);
            break;
        }
        delays.push_back((back - died) * 1000);
        printf("restart %d: replacement listed %.0f ms after the death\n", i, delays.back());
        // Let the restart's own one-second wait finish before the next death.
        ::Sleep(1600);
    }
    ::SetEvent(stop.get());
    ::WaitForSingleObject(thread.get(), 10000);
    StopExecutable(kEncoderImageName);
    if (delays.empty()) return;
    std::sort(delays.begin(), delays.end());
    double sum = 0;
    for (double d : delays) sum += d;
    printf("encoder death to replacement running, %zu restarts: min %.0f ms, median %.0f ms, mean %.0f ms, "
           "max %.0f ms\n",
           delays.size(), delays.front(), delays[delays.size() / 2], sum / delays.size(), delays.back());
}

bool CopyTo(const std::wstring& from, const std::wstring& to) { return ::CopyFileW(from.c_str(), to.c_str(), FALSE); }

void RemoveDirectoryTree(const std::wstring& dir, const std::vector<std::wstring>& files) {
    for (const std::wstring& file : files) {
        // A killed copy may hold its image a moment longer.
        for (int attempt = 0; attempt < 50 && !::DeleteFileW((dir + file).c_str()); ++attempt) ::Sleep(100);
    }
    ::RemoveDirectoryW(dir.c_str());
}

// Copies the program and its encoder double into a new directory and runs
// the measurement there.
int RunInOwnDirectory(int argc, wchar_t** argv) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"qv-publisher-benchmark-" + std::to_wstring(::GetCurrentProcessId()) +
                       L"\\";
    if (!::CreateDirectoryW(dir.c_str(), nullptr)) {
        printf("cannot create the benchmark directory\n");
        return 1;
    }
    const std::wstring self = OwnPath();
    const std::vector<std::wstring> files = {L"publisher_benchmark.exe", kEncoderImageName};
    for (const std::wstring& file : files) {
        if (!CopyTo(self, dir + file)) {
            printf("cannot copy the program\n");
            RemoveDirectoryTree(dir, files);
            return 1;
        }
    }
    std::wstring commandLine = L"\"" + dir + files[0] + L"\" " + kMeasureSwitch;
    for (int i = 1; i < argc; ++i) commandLine += L" " + std::wstring(argv[i]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    DWORD code = 1;
    if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &startup,
                         &created)) {
        UniqueHandle process(created.hProcess), mainThread(created.hThread);
        ::WaitForSingleObject(process.get(), INFINITE);
        ::GetExitCodeProcess(process.get(), &code);
    } else {
        printf("cannot start the measurement\n");
    }
    for (DWORD id : Listed(kEncoderImageName)) KillAndWait(id);
    RemoveDirectoryTree(dir, files);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (FileNameOf(OwnPath()) == kEncoderImageName) {
        // The encoder's double: listed until killed.
        for (;;) ::Sleep(INFINITE);
    }
    if (argc < 2 || std::wstring(argv[1]) != kMeasureSwitch) return RunInOwnDirectory(argc, argv);
    int idleSeconds = argc > 2 ? _wtoi(argv[2]) : 10;
    int restarts = argc > 3 ? _wtoi(argv[3]) : 10;
    ThePublishState().InitLock();
    MeasureIdle(idleSeconds > 0 ? idleSeconds : 10);
    MeasureRestarts(restarts > 0 ? restarts : 10);
    return 0;
}
