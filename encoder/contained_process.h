#pragma once
// FFmpeg as QvShow.exe's child: a process that cannot outlive QvShow.exe
// (COwnedProcess), which happens when QvShow.exe ends in any way, terminated
// by the daemon's stop included. Without it a stop by image name would leave
// FFmpeg publishing on its own.
#include "common/owned_process.h"
#include "common/unique_handle.h"

#include <windows.h>

#include <string>

struct ChildHandles {
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    HANDLE error = nullptr;
};

// Starts commandLine with these standard handles (made inheritable copies
// of). False with the system's error code in `error` when it could not be
// started or contained; nothing then runs.
bool StartContained(const std::wstring& commandLine, const ChildHandles& handles, DWORD creationFlags,
                    COwnedProcess& child, DWORD& error);

// A handle on the NUL device for reading: a standard input that delivers
// nothing, whatever QvShow.exe's own standard input is.
UniqueHandle OpenNullInput();
