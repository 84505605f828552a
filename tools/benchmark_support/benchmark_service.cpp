#include "tools/benchmark_support/benchmark_service.h"

#include "tests/daemon/command/wire_client.h"
#include "tests/support/child_process.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace {

const uint16_t kCommandPort = 19723;

std::wstring OwnDir() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

}  // namespace

bool BenchmarkService::Start(uint16_t port) {
    const std::wstring program = OwnDir() + L"command_service_test_host.exe";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    m_nul.reset(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    m_process = StartProgram(program, m_nul.get());
    if (!m_process) return false;
    m_processId = ::GetProcessId(m_process.get());
    // Listening once a client is greeted.
    for (int attempt = 0; attempt < 100; ++attempt) {
        WireClient probe;
        std::string greeting;
        if (probe.Connect(port, 1000) && probe.ReadMessage(greeting, 10000)) return true;
        ::Sleep(100);
    }
    return false;
}

bool StartWebService(BenchmarkService& service) {
    StartWinsock();
    if (service.Start(kCommandPort)) return true;
    fprintf(stderr, "the command service did not start (are ports 19723 and 19724 free?)\n");
    return false;
}

void BenchmarkService::Stop() {
    if (!m_process) return;
    ::TerminateProcess(m_process.get(), 0);
    ::WaitForSingleObject(m_process.get(), 10000);
    m_process.reset();
}

// (Wine leaves PrivateUsage at 0; PagefileUsage is the commit charge.)
double BenchmarkService::ProcessorMs() const {
    FILETIME created, exited, kernel, user;
    if (!m_process || !::GetProcessTimes(m_process.get(), &created, &exited, &kernel, &user)) return 0;
    auto ms = [](const FILETIME& t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
}

std::string BenchmarkService::Footprint() const {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(m_process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    char text[160];
    snprintf(text, sizeof(text), "committed %zu KiB, working set %zu KiB, %lu threads",
             static_cast<size_t>(memory.PagefileUsage / 1024), static_cast<size_t>(memory.WorkingSetSize / 1024),
             ThreadCount());
    return text;
}

unsigned long BenchmarkService::ThreadCount() const {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == m_processId) return entry.cntThreads;
    return 0;
}

void Figures::Print(const char* what) {
    if (ms.empty()) {
        printf("%-40s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    printf("%-40s min %7.1f  median %7.1f  p95 %7.1f  max %7.1f ms  (%zu runs)\n", what, ms.front(),
           ms[ms.size() / 2], ms[(ms.size() * 95 - 1) / 100], ms.back(), ms.size());
}

double ElapsedMs(const LARGE_INTEGER& from) {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::vector<std::unique_ptr<WireClient>> OpenClients(int count, const std::function<bool(WireClient&)>& open,
                                                     int* opened) {
    std::vector<std::unique_ptr<WireClient>> clients;
    *opened = 0;
    for (int i = 0; i < count; ++i) {
        auto client = std::make_unique<WireClient>();
        if (open(*client)) ++*opened;
        clients.push_back(std::move(client));
    }
    return clients;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}
