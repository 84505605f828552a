#pragma once
// Starting the daemon at the end of an installation with the rights of the
// desktop's user, not the installer's elevated ones: a program that a web
// page drives must not run as administrator.
#include <string>

enum class LaunchResult {
    AsDesktopUser,     // a child of the desktop shell, with its token
    WithOwnRights,     // no shell to start it from; started as we run
    Failed,
};

// Starts `program` in its own folder, without waiting for it.
LaunchResult LaunchAsDesktopUser(const std::wstring& program);
