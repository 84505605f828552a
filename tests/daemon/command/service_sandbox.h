#pragma once
// The command service running in a directory of its own: the test host
// (a console program that starts the service as the tray shell does) with
// the stand-ins copied beside it as QvShow.exe and QvGraph.exe, so that the
// service finds them in its own directory as the daemon would.
#include "common/non_copyable.h"
#include "tests/stand_ins/stand_in_record.h"
#include "tests/support/child_process.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

const wchar_t kEncoder[] = L"QvShow.exe";
const wchar_t kBridge[] = L"QvGraph.exe";
const wchar_t kHostProgram[] = L"command_service_test_host.exe";

class ServiceSandbox : private CNonCopyable {
public:
    // withStandIns false: no QvShow.exe / QvGraph.exe beside the host, and
    // the sandbox leaves processes of those names alone.
    explicit ServiceSandbox(bool withStandIns = true);
    ~ServiceSandbox();

    bool Ready() const { return m_ready; }
    // With a trailing backslash.
    const std::wstring& Dir() const { return m_dir; }

    // Starts the host as a debuggee. With waitForListening, true once it has
    // printed that both ports listen.
    bool Start(bool waitForListening = true, DWORD timeoutMs = 20000);
    DebuggeeProcess& Host() { return *m_host; }
    bool HostRunning();
    // Makes the listener's accept fail, which runs its shutdown.
    bool StopListening();

    // Starts recorded by a stand-in of the sandbox (kEncoder or kBridge).
    std::vector<StandInStart> Starts(const std::wstring& imageName);
    // Starts a copy of a stand-in under `relativePath` (a subdirectory is
    // created) without the service; false when it did not start.
    bool StartStandIn(const std::wstring& relativePath);

private:
    bool Copy(const std::wstring& program, const std::wstring& relativePath);

    bool m_withStandIns;
    bool m_ready = false;
    std::wstring m_dir;
    std::unique_ptr<DebuggeeProcess> m_host;
};

