#pragma once
// QvPushServer.exe run for real from a test: a private directory holding a
// copy of it with the stand-in encoder and bridge under their real image
// names, the running daemon as a debuggee, and what a user or the shell does
// to it (tray callbacks, the tray menu, window messages).
#include "common/non_copyable.h"
#include "common/unique_handle.h"
#include "tests/support/child_process.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// %TEMP%\qv-shell-test-<pid>-<n>\ with QvPushServer.exe, QvShow.exe and
// QvGraph.exe; removed with all it holds on destruction.
class DaemonDirectory : private CNonCopyable {
public:
    DaemonDirectory();
    ~DaemonDirectory();

    bool Ready() const { return m_ready; }
    // With a trailing backslash.
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    bool m_ready = false;
};

class RunningDaemon : private CNonCopyable {
public:
    RunningDaemon() = default;
    // Ends a daemon that is still running (tray menu first, then terminate),
    // so that no test leaves one behind, also after a failed assertion.
    ~RunningDaemon();

    // Starts the copy in `directory` and waits until its main window has
    // been initialised; on failure Failure() says what happened.
    bool Start(const DaemonDirectory& directory);
    const std::string& Failure() const { return m_failure; }

    HWND MainWindow() const { return m_mainWindow; }
    DebuggeeProcess& Process() { return *m_process; }
    bool Running();

    // Posts the tray callback as the shell does; `mouseMessage` as lParam.
    void PostTrayCallback(WPARAM iconId, LPARAM mouseMessage);
    // Right-button release on the icon; returns the visible menu window
    // ("#32768") of this process, or null when none appeared.
    HWND OpenTrayMenu();
    // Opens the menu, chooses its first item with the keyboard and waits
    // for the process to end; true with its exit code when it did.
    bool ExitFromTrayMenu(DWORD* exitCode);

private:
    std::unique_ptr<DebuggeeProcess> m_process;
    HWND m_mainWindow = nullptr;
    std::string m_failure;
};

extern const wchar_t kMainCaption[];
extern const wchar_t kMutexName[];

// Top-level windows of a process with the given class (and caption, unless empty).
std::vector<HWND> WindowsOfProcess(DWORD processId, const wchar_t* className, const std::wstring& caption);
// The visible popup menu window of a process, waiting up to timeoutMs.
HWND WaitForMenuWindow(DWORD processId, DWORD timeoutMs);
bool WaitUntil(DWORD timeoutMs, bool (*condition)(void*), void* context);
template <typename F>
bool WaitFor(DWORD timeoutMs, F condition) {
    return WaitUntil(timeoutMs, [](void* c) { return (*static_cast<F*>(c))(); }, &condition);
}

// Whether the shell knows an icon (window, id): a modify that changes nothing.
bool TrayIconExists(HWND window, UINT iconId);
// Removes it as its owner would.
bool DeleteTrayIcon(HWND window, UINT iconId);

// Processes of an exact image name, as process handles that can be waited on.
std::vector<UniqueHandle> OpenProcessesNamed(const std::wstring& imageName);

// Sends a message and returns its result; false when the window did not
// answer within timeoutMs.
bool SendAndGetResult(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                      UINT timeoutMs = 10000);
