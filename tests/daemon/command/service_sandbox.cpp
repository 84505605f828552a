#include "tests/daemon/command/service_sandbox.h"

#include "common/unique_handle.h"
#include "tests/daemon/command/outside_processes.h"
#include "tests/support/directory_tree.h"

#include <atomic>

namespace {

std::atomic<int> g_sandboxes{0};

}  // namespace

ServiceSandbox::ServiceSandbox(bool withStandIns) : m_withStandIns(withStandIns) {
    // Leftovers of an earlier run must not count as this test's processes.
    TerminateProcessesNamed(kHostProgram);
    if (m_withStandIns) {
        TerminateProcessesNamed(kEncoder);
        TerminateProcessesNamed(kBridge);
    }
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_dir = std::wstring(temp) + L"qv-命令-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(g_sandboxes++) + L"\\";
    RemoveTree(m_dir);
    if (!::CreateDirectoryW(m_dir.c_str(), nullptr)) return;
    m_ready = Copy(kHostProgram, kHostProgram);
    if (m_withStandIns)
        m_ready = m_ready && Copy(L"stand_in_encoder.exe", kEncoder) && Copy(L"stand_in_bridge.exe", kBridge);
}

ServiceSandbox::~ServiceSandbox() {
    if (m_host) m_host->Terminate();
    m_host.reset();
    if (m_withStandIns) {
        TerminateProcessesNamed(kEncoder);
        TerminateProcessesNamed(kBridge);
    }
    RemoveTree(m_dir);
}

bool ServiceSandbox::Copy(const std::wstring& program, const std::wstring& relativePath) {
    size_t slash = relativePath.find_last_of(L'\\');
    if (slash != std::wstring::npos) ::CreateDirectoryW((m_dir + relativePath.substr(0, slash)).c_str(), nullptr);
    return ::CopyFileW((TestBinDir() + program).c_str(), (m_dir + relativePath).c_str(), FALSE) != FALSE;
}

bool ServiceSandbox::Start(bool waitForListening, DWORD timeoutMs) {
    if (!m_ready) return false;
    m_host = std::make_unique<DebuggeeProcess>();
    if (!m_host->Start(QuoteArgument(m_dir + kHostProgram), m_dir)) return false;
    if (!waitForListening) return true;
    return m_host->WaitForOutput("19723 listening\n", timeoutMs) &&
           m_host->WaitForOutput("19722 listening\n", timeoutMs);
}

bool ServiceSandbox::HostRunning() { return m_host && !m_host->WaitForExit(0); }

bool ServiceSandbox::StopListening() {
    if (!m_host) return false;
    const std::wstring name = L"QvCommandTestHost.StopListening." + std::to_wstring(m_host->ProcessId());
    UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    return event && ::SetEvent(event.get());
}

std::vector<StandInStart> ServiceSandbox::Starts(const std::wstring& imageName) {
    return ReadStandInStarts(m_dir + imageName + L".record");
}

bool ServiceSandbox::StartStandIn(const std::wstring& relativePath) {
    const bool bridge = relativePath.find(kBridge) != std::wstring::npos;
    if (relativePath.find(L'\\') != std::wstring::npos &&
        !Copy(bridge ? L"stand_in_bridge.exe" : L"stand_in_encoder.exe", relativePath))
        return false;
    return StartDetached(m_dir + relativePath);
}
