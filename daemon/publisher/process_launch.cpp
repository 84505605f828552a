#include "daemon/publisher/process_launch.h"

#include "common/unique_handle.h"
#include "daemon/publisher/command_line_quoting.h"
#include "daemon/publisher/inherited_handles.h"
#include "daemon/publisher/output_watchers.h"
#include "daemon/publisher/pipe_manager.h"

#include <windows.h>

namespace {

// CreateProcessW takes at most 32767 units with the terminator. Wine cuts a
// longer line and starts the process all the same, which for the encoder
// would mean publishing to a cut URL; such a line is not launched at all.
const size_t kMaxCommandLineUnits = 32767 - 1;

bool FitsCommandLine(const std::wstring& commandLine) { return commandLine.size() <= kMaxCommandLineUnits; }

}  // namespace

std::wstring EncoderCommandLine(const std::wstring& executablePath, const std::wstring& arguments) {
    // Unquoted, a path with a blank (C:\Program Files\...) would be split, and
    // its second half taken by the encoder as an output file. Quoted only
    // then, so that every other command line stays as it always was.
    std::wstring program = executablePath.find_first_of(L" \t") == std::wstring::npos
                               ? executablePath
                               : L"\"" + EscapeQuotedValue(executablePath, true) + L"\"";
    return program + L" " + arguments;
}

bool LaunchWatched(const std::wstring& applicationPath, const std::wstring& commandLine, DWORD creationFlags,
                   std::unique_ptr<COutputWatcher> watcher, COwnedProcess& owned) {
    if (!FitsCommandLine(commandLine)) return false;
    UniqueHandle readEnd, writeEnd;
    // Neither end is inheritable at first: the read end never is, and the
    // write end only once it is named in this launch's handle list.
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), nullptr, 0)) return false;
    if (!::SetHandleInformation(writeEnd.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return false;
    // FFmpeg reads keyboard commands from its standard input ("q" ends it);
    // the NUL device gives it an input that never delivers a byte.
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueHandle noInput(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                       OPEN_EXISTING, 0, nullptr));
    if (!noInput) return false;
    CInheritedHandles inherited({writeEnd.get(), noInput.get()});
    if (!inherited.Ready()) return false;

    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdOutput = writeEnd.get();
    startup.StartupInfo.hStdError = writeEnd.get();
    startup.StartupInfo.hStdInput = noInput.get();
    startup.lpAttributeList = inherited.Get();
    ::Sleep(1);

    if (!owned.Start(applicationPath.empty() ? nullptr : applicationPath.c_str(), commandLine, true,
                     creationFlags | EXTENDED_STARTUPINFO_PRESENT, startup.StartupInfo)) {
        return false;
    }
    // Only once our copy of the write end is gone does the pipe break when
    // the child ends.
    if (!::CloseHandle(writeEnd.release())) return false;

    auto reading = std::make_unique<PipeReading>();
    reading->readEnd = readEnd.get();
    reading->watcher = std::move(watcher);
    UniqueHandle thread(::CreateThread(nullptr, 0, ThreadRecvPipeData, reading.get(), 0, nullptr));
    if (!thread) return false;
    reading.release();  // the reader owns it now, the read end with it
    readEnd.release();
    ThePipeManager().Append(std::move(thread));
    return true;
}
