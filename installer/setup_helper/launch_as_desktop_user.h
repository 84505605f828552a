#pragma once
// Starting the daemon at the end of an installation as the desktop's user,
// unelevated: a program that web pages drive must never run as
// administrator, as SYSTEM or as another account, where it would also hold
// the machine-wide ports against the real user's own copy.
#include <windows.h>

#include <string>

enum class LaunchRoute {
    ShellToken,   // a child of the desktop shell, with the shell's token
    LinkedToken,  // with the unelevated token linked to ours (we were elevated from that user)
    NoRoute,      // neither exists (SYSTEM, another account): not started
    Failed,       // a route exists, but the start failed
};

struct LaunchOutcome {
    LaunchRoute route = LaunchRoute::NoRoute;
    DWORD error = ERROR_SUCCESS;  // for Failed
};

// Starts `program` in its own folder, without waiting for it.
LaunchOutcome LaunchAsDesktopUser(const std::wstring& program);
