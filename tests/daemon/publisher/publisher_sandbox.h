#pragma once
// A directory of its own per test, holding the publisher host program and
// the stand-ins copied as QvShow.exe and QvGraph.exe, so that the code under
// test finds them in "its own directory" as the daemon would.
#include "common/non_copyable.h"
#include "tests/stand_ins/stand_in_record.h"
#include "tests/daemon/terminate_processes.h"
#include "tests/support/child_process.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

const wchar_t kEncoder[] = L"QvShow.exe";
const wchar_t kBridge[] = L"QvGraph.exe";

class PublisherSandbox : private CNonCopyable {
public:
    // withBridge false leaves QvGraph.exe out, so that its launch fails.
    // dirName: the start of the directory's name, which ends in numbers.
    explicit PublisherSandbox(bool withEncoder = true, bool withBridge = true,
                              const std::wstring& dirName = L"qv-发布-");
    ~PublisherSandbox();

    bool Ready() const { return m_ready; }
    // With a trailing backslash.
    const std::wstring& Dir() const { return m_dir; }
    std::wstring HostPath() const { return m_dir + L"publisher_host.exe"; }

    // Copies a stand-in under another name (a subdirectory is created).
    bool AddStandIn(const std::wstring& relativePath);

    // Script for the next starts of a stand-in (see stand_in_program.cpp).
    void SetScript(const std::wstring& imageName, const std::string& script);

    std::vector<StandInStart> Starts(const std::wstring& relativePath);
    // Waits until at least `count` starts are recorded.
    bool WaitForStarts(const std::wstring& relativePath, size_t count, DWORD timeoutMs);

    // Runs the host with these steps as a debuggee; null when it cannot be
    // started. The sandbox owns it: its stand-ins are ended before its hosts,
    // so that no host waits for the end of an output that a stand-in holds.
    DebuggeeProcess* StartHost(const std::vector<std::wstring>& steps);
    // StartHost, then waits (30 s at most) for the host to end; null when it
    // did not start or did not end.
    DebuggeeProcess* RunHost(const std::vector<std::wstring>& steps);
    // For steps that wait on `go`: StartHost, and once `encoders` encoder
    // and `bridges` bridge starts are recorded, signals `go` and waits for
    // the host's end. Null when any of that did not happen in time.
    DebuggeeProcess* RunHostOnceStarted(const std::vector<std::wstring>& steps, const std::wstring& go,
                                        size_t encoders, size_t bridges);

    // A named event the host can wait for ("wait=NAME").
    std::wstring NewEventName();
    void Signal(const std::wstring& eventName);

private:
    bool CopyProgram(const std::wstring& from, const std::wstring& to);

    bool m_ready = false;
    std::wstring m_dir;
    std::vector<HANDLE> m_events;
    std::vector<std::wstring> m_standInNames;
    std::vector<std::unique_ptr<DebuggeeProcess>> m_hosts;
};

// Processes of this image name in the whole prefix.
std::vector<DWORD> ProcessesNamed(const std::wstring& imageName);
bool IsRunning(DWORD processId);
// True once the process has ended (or is no more), within timeoutMs.
bool WaitUntilEnded(DWORD processId, DWORD timeoutMs);

// The arguments of a command line as a Windows program receives them.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

// Debug texts without the encoder output mirrored by readers.
std::vector<std::wstring> LaunchTexts(const std::vector<std::wstring>& texts);

// Index of the first text at or after `from` equal to `text`; -1 if none.
int FindText(const std::vector<std::wstring>& texts, const std::wstring& text, size_t from = 0);

// The value after "NAME " in a line of the host's printed output.
std::string HostValue(const std::string& output, const std::string& name);
