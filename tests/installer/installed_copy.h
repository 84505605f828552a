#pragma once
// What an installation of QvPush leaves on this machine, read the way an
// administrator would look: files, the registry (64-bit view), processes,
// and the daemon's command port.
#include "common/non_copyable.h"
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "installer/setup_helper/install_folder.h"
#include "tests/support/child_process.h"

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvPush";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"QvPushServer";
const wchar_t kUserKey[] = L"Software\\QvPush";

// "C:\Program Files\QvPush" as the 64-bit system names it.
std::wstring DefaultInstallFolder();

struct SetupRun {
    ProgramResult run;
    double seconds = 0;
};
// Runs a setup program or an uninstaller to its end.
SetupRun RunSetup(const std::wstring& program, const std::wstring& arguments);
// The same with the unelevated token linked to ours: a setup that has no
// desktop shell to start from and no unelevated twin of its own token, as
// when a deployment tool runs it as SYSTEM (under Wine every process has an
// elevated token with a linked one, and no shell window).
SetupRun RunSetupWithoutElevation(const std::wstring& program, const std::wstring& arguments);

// Runs the QuietUninstallString of the Apps & Features entry to its end
// (no more than that: the uninstaller itself waits for the copy that does
// the work).
SetupRun RunQuietUninstall();

// Records the names of files and folders made anywhere below `folder`
// while it lives (relative paths, as ReadDirectoryChangesW gives them).
class FolderWatch : CNonCopyable {
public:
    explicit FolderWatch(const std::wstring& folder);
    ~FolderWatch();
    bool Watching() const;
    // Stops watching; what was made until then.
    std::vector<std::wstring> Made();

private:
    void Watch();

    HANDLE m_folder;
    HANDLE m_stop;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::wstring> m_made;
};

bool FolderExists(const std::wstring& folder);
std::vector<BYTE> ReadFileBytes(const std::wstring& path);
// The install log (UTF-16 with a byte-order mark) as UTF-8.
std::string ReadInstallLog(const std::wstring& folder);

// Registry (this 64-bit program sees the 64-bit view); false when the key or
// value is missing.
bool ReadRegistryString(HKEY root, const std::wstring& key, const wchar_t* value, std::wstring& text);
bool ReadRegistryDword(HKEY root, const std::wstring& key, const wchar_t* value, DWORD& number);
bool RegistryKeyExists(HKEY root, const std::wstring& key);

// Subkeys of the video input category's instance key that name `clsid`.
std::vector<std::wstring> VideoInputInstancesOf(REFCLSID clsid);

struct RunningProgram {
    DWORD processId = 0;
    std::wstring image;  // full path
};
// Processes of that image name (any, for null).
std::vector<RunningProgram> RunningPrograms(const wchar_t* imageName);

// Starts `program` detached, in its folder, with `argument` when one is given.
bool StartDetached(const std::wstring& program, const std::wstring& argument = std::wstring());

// The daemon's greeting on 127.0.0.1:19723, up to its NUL; empty when
// nothing answers within timeoutMs.
std::string ReadGreeting(DWORD timeoutMs);
