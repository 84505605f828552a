// stand_in_ffmpeg: a test-only program that tests copy as ffmpeg.exe beside
// QvShow.exe. It records every start (tests/stand_ins/stand_in_record.h,
// "<own path>.record") and then acts as FFmpeg would, told by files beside
// it:
//   -encoders among its arguments: prints an encoder list ("Encoders:",
//     then lines "flags name description") that names libaacplus only when
//     "<own path>.libaacplus" exists, and exits 0; with "<own path>.broken"
//     it prints nothing and exits 1.
//     Hardware H.264 encoders are listed from "<own path>.hardware", one
//     line each: "name pass", "name fail" or "name publishfail".
//   "lavfi" among its arguments (QvShow.exe's probe of an encoder): exits
//     0 when the "-c:v" encoder is listed with "pass" or "publishfail", 1
//     otherwise.
//   a publish whose "-c:v" encoder is listed with "publishfail": prints
//     what FFmpeg prints when a hardware encoder cannot open (a line in the
//     encoder's name) and exits 1, as a GPU that went away makes it do.
//   otherwise (a publish): prints one line on standard output, one on
//     standard error and what its standard input holds ("stdin: nothing"
//     when it delivers no data at once), then stays until killed, or, with
//     "<own path>.exit" holding a number, exits with that code 200 ms later.
//     With "<own path>.progress" holding a number of seconds, it first
//     prints a burst of numbered lines on both outputs, then FFmpeg's
//     progress lines (ended by a carriage return, a growing frame count)
//     five times a second for that long, then nothing; "-1" prints them
//     until killed. Everything it prints in this mode is also appended to
//     "<own path>.said", in the order printed.
#include "tests/stand_ins/stand_in_record.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring g_saidPath;  // empty: what is printed is not kept

void Write(DWORD which, const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(which), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (!g_saidPath.empty()) std::ofstream(g_saidPath.c_str(), std::ios::binary | std::ios::app) << text;
}

// Progress as FFmpeg prints it on standard error, for `seconds` (-1: for
// good), after a burst that needs more than one read of a pipe.
void PrintProgress(int seconds) {
    for (int i = 0; i < 400; ++i)
        Write(i % 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE,
              "stand-in ffmpeg: line " + std::to_string(i) + " of the burst, to fill a pipe's reads\n");
    const DWORD start = ::GetTickCount();
    for (int frame = 1; seconds < 0 || ::GetTickCount() - start < static_cast<DWORD>(seconds) * 1000; ++frame) {
        char line[160];
        std::snprintf(line, sizeof(line),
                      "frame=%5d fps= 10 q=23.0 size=%8dkB time=00:00:%02d.%02d bitrate= 300.0kbits/s speed=   1x    \r",
                      frame, frame * 4, (frame / 10) % 60, (frame % 10) * 10);
        Write(STD_ERROR_HANDLE, line);
        ::Sleep(200);
    }
}

// Never blocks: a pipe is peeked, anything else read once (NUL gives 0 bytes).
std::string DescribeInput() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return "stdin: none\n";
    DWORD available = 0;
    if (::GetFileType(input) == FILE_TYPE_PIPE) {
        if (::PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) && available == 0)
            return "stdin: an empty pipe\n";
        return "stdin: a pipe with " + std::to_string(available) + " bytes\n";
    }
    char byte;
    DWORD n = 0;
    if (::ReadFile(input, &byte, 1, &n, nullptr) && n == 0) return "stdin: nothing\n";
    return "stdin: data\n";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring own = OwnPath();
    StandInStart start;
    start.m_processId = ::GetCurrentProcessId();
    start.m_modulePath = own;
    start.m_commandLine = ::GetCommandLineW();
    AppendStandInStart(own + L".record", start);

    std::vector<std::pair<std::string, std::string>> hardware;  // name, pass or fail
    std::ifstream hardwareFile((own + L".hardware").c_str());
    for (std::string name, outcome; hardwareFile >> name >> outcome;) hardware.emplace_back(name, outcome);

    std::string encoder;  // the "-c:v" one
    for (int j = 1; j + 1 < argc; ++j)
        if (std::wstring(argv[j]) == L"-c:v") encoder.assign(argv[j + 1], argv[j + 1] + wcslen(argv[j + 1]));
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"lavfi") {
            for (const auto& [name, outcome] : hardware)
                if (name == encoder && (outcome == "pass" || outcome == "publishfail")) return 0;
            Write(STD_ERROR_HANDLE, "stand-in ffmpeg: no such device for " + encoder + "\n");
            return 1;
        }
        if (std::wstring(argv[i]) != L"-encoders") continue;
        if (Exists(own + L".broken")) return 1;
        std::string list = "Encoders:\n V..... = Video\n ------\n V..... libx264              libx264 H.264\n";
        for (const auto& listed : hardware) list += " V....D " + listed.first + "           hardware H.264\n";
        if (Exists(own + L".libaacplus")) list += " A..... libaacplus           libaacplus AAC+\n";
        list += " A..... aac                  AAC (Advanced Audio Coding)\n";
        Write(STD_OUTPUT_HANDLE, list);
        return 0;
    }
    for (const auto& [name, outcome] : hardware) {
        if (name != encoder || outcome != "publishfail") continue;
        Write(STD_ERROR_HANDLE, "[" + encoder + " @ 000001c4a2f0e040] Cannot init the encoder's device\n"
                                "Error initializing output stream 0:0 -- Error while opening encoder for output "
                                "stream #0:0 - maybe incorrect parameters such as bit_rate, rate, width or height\n");
        return 1;
    }
    std::ifstream progressFile((own + L".progress").c_str());
    int progressSeconds = 0;
    const bool progress = static_cast<bool>(progressFile >> progressSeconds);
    if (progress) g_saidPath = own + L".said";
    Write(STD_OUTPUT_HANDLE, "stand-in ffmpeg: publishing\n");
    Write(STD_ERROR_HANDLE, "stand-in ffmpeg: " + DescribeInput());
    if (progress) PrintProgress(progressSeconds);
    std::ifstream exitFile((own + L".exit").c_str());
    int code = 0;
    if (exitFile >> code) {
        ::Sleep(200);
        return code;
    }
    for (;;) ::Sleep(INFINITE);
}
