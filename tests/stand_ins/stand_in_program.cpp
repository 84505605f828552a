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
