#include "tests/daemon/publisher/publisher_sandbox.h"

#include "common/unique_handle.h"
#include "daemon/publisher/process_list.h"
#include "tests/support/directory_tree.h"

#include <shellapi.h>

#include <atomic>

namespace {

std::atomic<int> g_sandboxes{0};

}  // namespace

PublisherSandbox::PublisherSandbox(bool withEncoder, bool withBridge, const std::wstring& dirName) {
    // Leftovers of an earlier test must not count as this test's processes.
    TerminateProcessesNamed(kEncoder);
    TerminateProcessesNamed(kBridge);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    // A Chinese directory name checks the narrow round trip of OwnDirectory.
    m_dir = std::wstring(temp) + dirName + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(g_sandboxes++) + L"\\";
    RemoveTree(m_dir);
    if (!::CreateDirectoryW(m_dir.c_str(), nullptr)) return;
    m_ready = CopyProgram(TestBinDir() + L"publisher_host.exe", HostPath());
    if (withEncoder) m_ready = m_ready && AddStandIn(kEncoder);
    if (withBridge) m_ready = m_ready && AddStandIn(kBridge);
}

PublisherSandbox::~PublisherSandbox() {
    TerminateProcessesNamed(kEncoder);
    TerminateProcessesNamed(kBridge);
    for (const std::wstring& name : m_standInNames) TerminateProcessesNamed(name);
    m_hosts.clear();
    TerminateProcessesNamed(L"publisher_host.exe");
    for (HANDLE event : m_events) ::CloseHandle(event);
    RemoveTree(m_dir);
}

bool PublisherSandbox::CopyProgram(const std::wstring& from, const std::wstring& to) {
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool PublisherSandbox::AddStandIn(const std::wstring& relativePath) {
    size_t slash = relativePath.find_last_of(L'\\');
    if (slash != std::wstring::npos) ::CreateDirectoryW((m_dir + relativePath.substr(0, slash)).c_str(), nullptr);
    m_standInNames.push_back(slash == std::wstring::npos ? relativePath : relativePath.substr(slash + 1));
    std::wstring program = relativePath.find(kBridge) != std::wstring::npos ? L"stand_in_bridge.exe"
                                                                            : L"stand_in_encoder.exe";
    return CopyProgram(TestBinDir() + program, m_dir + relativePath);
}

void PublisherSandbox::SetScript(const std::wstring& imageName, const std::string& script) {
    UniqueHandle file(::CreateFileW((m_dir + imageName + L".script").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file.get() != INVALID_HANDLE_VALUE)
        ::WriteFile(file.get(), script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
}

std::vector<StandInStart> PublisherSandbox::Starts(const std::wstring& relativePath) {
    return ReadStandInStarts(m_dir + relativePath + L".record");
}

bool PublisherSandbox::WaitForStarts(const std::wstring& relativePath, size_t count, DWORD timeoutMs) {
    for (DWORD waited = 0;; waited += 20) {
        if (Starts(relativePath).size() >= count) return true;
        if (waited >= timeoutMs) return false;
        ::Sleep(20);
    }
}

DebuggeeProcess* PublisherSandbox::StartHost(const std::vector<std::wstring>& steps) {
    std::wstring commandLine = QuoteArgument(HostPath());
    for (const std::wstring& step : steps) commandLine += L" " + QuoteArgument(step);
    auto host = std::make_unique<DebuggeeProcess>();
    if (!host->Start(commandLine, m_dir)) return nullptr;
    m_hosts.push_back(std::move(host));
    return m_hosts.back().get();
}

DebuggeeProcess* PublisherSandbox::RunHost(const std::vector<std::wstring>& steps) {
    DebuggeeProcess* host = StartHost(steps);
    return host && host->WaitForExit(30000) ? host : nullptr;
}

DebuggeeProcess* PublisherSandbox::RunHostOnceStarted(const std::vector<std::wstring>& steps, const std::wstring& go,
                                                       size_t encoders, size_t bridges) {
    DebuggeeProcess* host = StartHost(steps);
    if (!host || !WaitForStarts(kEncoder, encoders, 20000) || !WaitForStarts(kBridge, bridges, 20000)) return nullptr;
    Signal(go);
    return host->WaitForExit(30000) ? host : nullptr;
}

std::wstring PublisherSandbox::NewEventName() {
    std::wstring name = L"qv-pub-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(m_events.size()) + L"-" + std::to_wstring(g_sandboxes.load());
    m_events.push_back(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    return name;
}

void PublisherSandbox::Signal(const std::wstring& eventName) {
    UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
    ::SetEvent(event.get());
}

std::vector<DWORD> ProcessesNamed(const std::wstring& imageName) {
    std::vector<unsigned long> ids = ProcessIdsByName(imageName);
    return std::vector<DWORD>(ids.begin(), ids.end());
}

bool IsRunning(DWORD processId) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

bool WaitUntilEnded(DWORD processId, DWORD timeoutMs) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return !process || ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* split = ::CommandLineToArgvW(commandLine.c_str(), &count);
    if (!split) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(split[i]);
    ::LocalFree(split);
    return arguments;
}

std::vector<std::wstring> LaunchTexts(const std::vector<std::wstring>& texts) {
    std::vector<std::wstring> kept;
    for (const std::wstring& text : texts) {
        if (text.rfind(L"zrshow:", 0) == 0 || text.rfind(L"pipe ", 0) == 0) continue;
        kept.push_back(text);
    }
    return kept;
}

int FindText(const std::vector<std::wstring>& texts, const std::wstring& text, size_t from) {
    for (size_t i = from; i < texts.size(); ++i)
        if (texts[i] == text) return static_cast<int>(i);
    return -1;
}

std::string HostValue(const std::string& output, const std::string& name) {
    std::string key = name + " ";
    size_t at = 0;
    for (;;) {
        size_t line = output.find(key, at);
        if (line == std::string::npos) return std::string("<missing " + name + ">");
        if (line == 0 || output[line - 1] == '\n') {
            size_t end = output.find('\n', line);
            return output.substr(line + key.size(), end == std::string::npos ? std::string::npos
                                                                             : end - line - key.size());
        }
        at = line + 1;
    }
}
