#include "daemon/publisher/process_launch.h"

#include "common/unique_handle.h"
#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/pipe_manager.h"
#include "daemon/publisher/pipe_reader.h"

#include <windows.h>

namespace {

// CreateProcessW takes at most 32767 units with the terminator. Wine cuts a
// longer line and starts the process all the same, which for the encoder
// would mean publishing to a cut URL; such a line is not launched at all.
const size_t kMaxCommandLineUnits = 32767 - 1;

bool FitsCommandLine(const std::wstring& commandLine) { return commandLine.size() <= kMaxCommandLineUnits; }

}  // namespace

bool LaunchProcess(const std::wstring& applicationPath, const std::wstring& commandLine) {
    if (!FitsCommandLine(commandLine)) return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    // CreateProcessW may write into the command line.
    std::wstring mutableLine = commandLine;
    BOOL ok = ::CreateProcessW(applicationPath.empty() ? nullptr : applicationPath.c_str(), &mutableLine[0],
                               nullptr, nullptr, FALSE, CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr,
                               nullptr, &startup, &created);
    if (!ok) return false;
    ::CloseHandle(created.hThread);
    ::CloseHandle(created.hProcess);
    return true;
}

bool LaunchWithOutputPipe(const std::wstring& executablePath, const std::wstring& arguments) {
    // Unquoted, a path with a blank (C:\Program Files\...) would be split, and
    // its second half taken by the encoder as an output file. Quoted only
    // then, so that every other command line stays as it always was.
    std::wstring program = executablePath.find_first_of(L" \t") == std::wstring::npos
                               ? executablePath
                               : L"\"" + EscapeQuotedValue(executablePath, true) + L"\"";
    std::wstring commandLine = program + L" " + arguments;
    if (!FitsCommandLine(commandLine)) return false;

    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueHandle readEnd, writeEnd;
    {
        HANDLE r = nullptr, w = nullptr;
        if (!::CreatePipe(&r, &w, &inheritable, 0)) return false;
        readEnd.reset(r);
        writeEnd.reset(w);
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    // The encoder is given no input of its own; the read end stands in.
    startup.hStdInput = readEnd.get();
    ::Sleep(1);

    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &created)) {
        return false;
    }
    ::CloseHandle(created.hThread);
    ::CloseHandle(created.hProcess);

    // Only once our copy of the write end is gone does the pipe break when
    // the encoder ends.
    if (!::CloseHandle(writeEnd.release())) return false;

    HANDLE reader = readEnd.get();
    UniqueHandle thread(::CreateThread(nullptr, 0, ThreadRecvPipeData, reader, 0, nullptr));
    if (!thread) return false;
    readEnd.release();  // the reader owns it now
    ThePipeManager().Append(std::move(thread));
    return true;
}
