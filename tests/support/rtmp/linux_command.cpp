#include "tests/support/rtmp/linux_command.h"

#include "tests/support/child_process.h"

#include <atomic>
#include <fstream>
#include <iterator>

namespace {

std::string ReadWholeFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

std::string UnixPath(const std::wstring& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    char* unix = toUnix(windowsPath.c_str());
    if (!unix) return std::string();
    std::string path(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return path;
}

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + FromUtf8(unixPath);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::wstring ScratchDirectory(const std::wstring& name) {
    std::wstring dir = TestBinDir() + L"..\\scratch\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    // Process ids repeat between the run's prefixes; the group tells them apart.
    wchar_t group[32] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"QV_TEST_GROUP", group, 32);
    dir += name + (n > 0 && n < 32 ? std::wstring(group) + L"-" : std::wstring()) +
           std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool RunningInCi() {
    wchar_t value[16] = {};
    DWORD n = ::GetEnvironmentVariableW(L"CI", value, 16);
    return n > 0 && n < 16 && lstrcmpiW(value, L"true") == 0;
}

std::string LinuxCommand::Start(const std::string& script, DWORD timeoutMs) {
    static std::atomic<int> counter{0};
    m_dir = ScratchDirectory(L"linux-") + L"run" + std::to_wstring(++counter) + L"\\";
    m_done = false;
    ::CreateDirectoryW(m_dir.c_str(), nullptr);
    const std::string unixDir = UnixPath(m_dir);
    if (unixDir.empty()) return "Wine cannot map " + ToUtf8(m_dir) + " to a Unix path (not running under Wine?)";
    const unsigned seconds = (timeoutMs + 999) / 1000;
    // The status file is renamed into place, so a status read is always whole.
    // The command gets no descriptor of ours beyond its output: a daemon it
    // starts (nginx) would otherwise keep the ports lock and ctest's pipes
    // open for as long as it lives.
    const std::string wrapper =
        "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin; export PATH\n"
        "cd " + ShellQuote(unixDir) + " || exit 1\n"
        "timeout -k 5 " + std::to_string(seconds) +
        " python3 -c 'import os; os.closerange(3, 65536); os.execv(\"/bin/sh\", [\"sh\", \"./command.sh\"])'"
        " </dev/null >output 2>&1 &\n"
        "echo $! >pid\n"
        "wait $!\n"
        "echo $? >status.new && mv status.new status\n";
    if (!WriteWholeFile(m_dir + L"command.sh", script) || !WriteWholeFile(m_dir + L"wrapper.sh", wrapper))
        return "cannot write the scripts into " + ToUtf8(m_dir);
    std::wstring line = L"/bin/sh " + QuoteArgument(FromUtf8(unixDir + "wrapper.sh"));
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                          &pi))
        return "Wine did not start /bin/sh: error " + std::to_string(::GetLastError());
    // Wine hands back no handles for a Unix program; close any it gives.
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);
    return std::string();
}

LinuxCommandResult LinuxCommand::Wait(DWORD timeoutMs) {
    LinuxCommandResult result;
    if (m_dir.empty()) {
        result.failure = "not started";
        return result;
    }
    const DWORD started = ::GetTickCount();
    while (::GetFileAttributesW((m_dir + L"status").c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount() - started > timeoutMs) {
            result.failure = "no status from the Linux command within " + std::to_string(timeoutMs / 1000) + " s";
            result.output = ReadWholeFile(m_dir + L"output");
            return result;
        }
        ::Sleep(20);
    }
    m_done = true;
    result.finished = true;
    result.exitCode = atoi(ReadWholeFile(m_dir + L"status").c_str());
    result.output = ReadWholeFile(m_dir + L"output");
    return result;
}

void LinuxCommand::Stop() {
    if (m_dir.empty()) return;
    if (!m_done) {
        const std::string pid = ReadWholeFile(m_dir + L"pid");
        if (atoi(pid.c_str()) > 0) {
            LinuxCommand killer;
            if (killer.Start("kill " + std::to_string(atoi(pid.c_str())), 10000).empty()) killer.Wait(20000);
        }
        Wait(15000);
    }
    for (const wchar_t* file : {L"command.sh", L"wrapper.sh", L"output", L"status", L"pid"})
        ::DeleteFileW((m_dir + file).c_str());
    ::RemoveDirectoryW(m_dir.c_str());
    m_dir.clear();
}

LinuxCommandResult RunLinuxCommand(const std::string& script, DWORD timeoutMs) {
    LinuxCommand command;
    const std::string failure = command.Start(script, timeoutMs);
    if (!failure.empty()) {
        LinuxCommandResult result;
        result.failure = failure;
        return result;
    }
    // The command's own time-out ends it; the margin covers its kill.
    LinuxCommandResult result = command.Wait(timeoutMs + 10000);
    if (result.finished) command.Stop();
    return result;
}
