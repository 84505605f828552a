#pragma once
// Starting the daemon at the end of an installation as the desktop's user,
// unelevated: a program that web pages drive must never run as
// administrator, as SYSTEM or as another account, where it would also hold
// the machine-wide ports against the real user's own copy.
#include <windows.h>

#include <string>

enum class LaunchRoute {
    ShellToken,        // a child of the desktop shell, with the shell's token
    LinkedToken,       // with the unelevated token linked to ours (we were elevated from the session's user)
    SessionUserToken,  // run as SYSTEM: with the token of the user logged on at the console
    NoRoute,           // none of them exists (no one logged on, elevated from another account): not started
    Failed,            // a route exists, but the start failed
};

// What the choice of route depends on, as read from the system: the seam
// that tests use for what Wine cannot be (SYSTEM, elevated over the
// shoulder with another account's password).
struct DesktopFacts {
    bool shellUnelevated = false;          // a desktop shell whose process runs unelevated
    bool runsAsSystem = false;             // this setup runs as SYSTEM (a deployment tool)
    bool sessionUserToken = false;         // as SYSTEM: the console session's user has a token
    bool linkedTokenUnelevated = false;    // ours is elevated through UAC and has an unelevated twin
    bool linkedTokenIsSessionUser = false; // that twin's account is the one logged on in our session
};

// Over-the-shoulder elevation (a standard user types an administrator's
// password) links our token to the administrator's own: that account is
// not the desktop's user, and the daemon would run as the wrong one.
LaunchRoute ChooseRoute(const DesktopFacts& facts);

struct LaunchOutcome {
    LaunchRoute route = LaunchRoute::NoRoute;
    DWORD error = ERROR_SUCCESS;  // for Failed
};

// Starts `program` in its own folder, without waiting for it.
LaunchOutcome LaunchAsDesktopUser(const std::wstring& program);

// True when this process runs as SYSTEM.
bool RunsAsSystem();

// As SYSTEM: runs `commandLine` in the console session as its user, waits
// up to `timeoutMs` and gives its exit code; false when there is no such
// user or the start failed.
bool RunAsSessionUser(const std::wstring& commandLine, DWORD timeoutMs, DWORD& exitCode);
