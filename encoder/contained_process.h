#pragma once
// A child process that cannot outlive QvShow.exe: it runs in a job object
// that kills it when the job's last handle closes, which happens when
// QvShow.exe ends in any way, terminated by the daemon's stop included.
// Without it a stop by image name would leave FFmpeg publishing on its own.
#include "common/unique_handle.h"

#include <windows.h>

#include <string>

struct ContainedProcess {
    // Null where jobs do not nest (Windows 7) and QvShow.exe itself runs in
    // a job: the child is then held by that job instead.
    UniqueHandle job;
    UniqueHandle process;
};

// Ends the child and whatever it started in its job (only the child when
// it has no job of its own).
void EndContained(ContainedProcess& child, UINT exitCode);

struct ChildHandles {
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    HANDLE error = nullptr;
};

// Starts commandLine with these standard handles (made inheritable copies
// of) inside a kill-on-close job. False with the system's error code in
// `error` when it could not be started or contained; nothing then runs.
bool StartContained(const std::wstring& commandLine, const ChildHandles& handles, DWORD creationFlags,
                    ContainedProcess& child, DWORD& error);

// A handle on the NUL device for reading: a standard input that delivers
// nothing, whatever QvShow.exe's own standard input is.
UniqueHandle OpenNullInput();
