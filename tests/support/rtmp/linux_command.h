#pragma once
// Linux programs (nginx, Debian's ffmpeg and ffprobe) run from a Windows
// test under Wine. Wine starts a file that is not a PE image by fork and
// exec, but hands back no process handle and does not connect the standard
// handles: so the command runs inside a small shell wrapper that writes its
// output and, last, its exit status into files that the test polls.
#include "common/non_copyable.h"
#include <windows.h>

#include <string>

struct LinuxCommandResult {
    bool finished = false;  // the status file appeared in time
    int exitCode = -1;
    std::string output;     // standard output and standard error
    std::string failure;    // why it did not finish, when it did not
};

// A Linux command started in the background, stopped by its Unix pid.
class LinuxCommand : CNonCopyable {
public:
    LinuxCommand() = default;
    ~LinuxCommand() { Stop(); }

    // Runs `script` with /bin/sh (PATH set to the system's directories)
    // under coreutils' timeout, which ends it after timeoutMs. Empty when
    // it started, else why not.
    std::string Start(const std::string& script, DWORD timeoutMs);
    // Waits for its end; `finished` false when it did not end in time.
    LinuxCommandResult Wait(DWORD timeoutMs);
    // Ends it (timeout passes the signal on to the whole command) and waits.
    void Stop();

private:
    std::wstring m_dir;  // with trailing backslash; empty when not started
    bool m_done = false;
};

// Runs `script` to its end (see LinuxCommand::Start).
LinuxCommandResult RunLinuxCommand(const std::string& script, DWORD timeoutMs = 60000);

// The Unix path of a Windows path (wine_get_unix_file_name); empty when
// Wine cannot map it.
std::string UnixPath(const std::wstring& windowsPath);
// The Windows path of a Unix path, through Wine's drive Z:.
std::wstring WindowsPath(const std::string& unixPath);

// Quotes text for the shell: single quotes, inner ones closed and escaped.
std::string ShellQuote(const std::string& text);

// A scratch directory of this process in the build tree (with trailing
// backslash), created on first use; name is its last component's start.
std::wstring ScratchDirectory(const std::wstring& name);

// Whether the run is CI's (CI=true): components a test needs must be there.
bool RunningInCi();
