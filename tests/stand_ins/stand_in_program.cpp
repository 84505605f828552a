// Test program standing in for the encoder and for the camera bridge (the
// tests copy it as QvShow.exe / QvGraph.exe). What it records and the
// script it follows are described in stand_in_record.h.
#include "tests/stand_ins/stand_in_record.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

void WriteAll(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    // One call, so the reader finds the bytes waiting together.
    ::WriteFile(::GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

DWORD StreamOf(const std::string& name) { return name == "stderr" ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE; }

// What a read of standard input gives: the encoder must get an input that
// never delivers a byte, not the read end of its own output.
std::string ReadStandardInput() {
    char buffer[64];
    DWORD got = 0;
    BOOL ok = ::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &got, nullptr);
    return "stdin ok=" + std::to_string(ok ? 1 : 0) + " read=" + std::to_string(got) + "\n";
}

// Counts the pipes and sockets among this process's handles (both are of
// the pipe type; under Wine an inherited socket answers no socket call in
// the child), its own standard output and error left out: whatever else it
// holds it inherited.
std::string InheritedHandles() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE), err = ::GetStdHandle(STD_ERROR_HANDLE);
    int count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags = 0;
        if (handle == out || handle == err || !::GetHandleInformation(handle, &flags)) continue;
        if (::GetFileType(handle) == FILE_TYPE_PIPE) ++count;
    }
    return "handles pipes-or-sockets=" + std::to_string(count) + "\n";
}

void FollowScript(const std::wstring& scriptPath) {
    std::ifstream script(scriptPath.c_str());
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "stdout" || verb == "stderr") {
            std::string hex;
            words >> hex;
            WriteAll(StreamOf(verb), FromHex(hex));
        } else if (verb == "fill") {
            std::string stream, hex;
            size_t count = 0;
            words >> stream >> count >> hex;
            WriteAll(StreamOf(stream), std::string(count, FromHex(hex).empty() ? 'x' : FromHex(hex)[0]));
        } else if (verb == "stdin") {
            WriteAll(STD_OUTPUT_HANDLE, ReadStandardInput());
        } else if (verb == "handles") {
            WriteAll(STD_OUTPUT_HANDLE, InheritedHandles());
        } else if (verb == "sleep") {
            DWORD ms = 0;
            words >> ms;
            ::Sleep(ms);
        } else if (verb == "exit") {
            UINT code = 0;
            words >> code;
            ::ExitProcess(code);
        }
    }
}

}  // namespace

int wmain() {
    std::wstring ownPath = OwnPath();
    StandInStart start;
    start.m_processId = ::GetCurrentProcessId();
    start.m_modulePath = ownPath;
    start.m_commandLine = ::GetCommandLineW();
    AppendStandInStart(ownPath + L".record", start);
    FollowScript(ownPath + L".script");
    for (;;) ::Sleep(INFINITE);
}
