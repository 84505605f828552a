#include "tests/support/child_process.h"

#include "common/unique_handle.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace {

bool CreateOutputPipe(UniqueHandle& readEnd, UniqueHandle& writeEnd) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &sa, 0)) return false;
    readEnd.reset(r);
    writeEnd.reset(w);
    // Only the child's end may be inherited.
    ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// Under Wine a grandchild can inherit the write end at the Unix level and
// keep the pipe open long after the child has gone, so the reader polls and
// gives up when told to rather than blocking in ReadFile for ever.
template <typename Sink>
void PollPipe(HANDLE readEnd, const std::atomic<bool>& stop, Sink sink) {
    char chunk[4096];
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) return;
        if (available == 0) {
            if (stop) return;
            ::Sleep(2);
            continue;
        }
        DWORD n = 0;
        if (!::ReadFile(readEnd, chunk, sizeof(chunk), &n, nullptr) || n == 0) return;
        sink(chunk, n);
    }
}

// How long output may keep arriving after the child has ended.
const DWORD kOutputGraceMs = 3000;

}  // namespace

std::wstring TestBinDir() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

static std::wstring Decode(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return out;
}

std::wstring FromUtf8(const std::string& text) { return Decode(CP_UTF8, text); }
std::wstring FromGbk(const std::string& bytes) { return Decode(936, bytes); }

bool StartOnceMoreAfterWineLoss(const std::function<bool()>& start) {
    if (start()) return true;
    if (::GetLastError() != ERROR_INTERNAL_ERROR) return false;
    std::fprintf(stderr, "a new process died before it had started (ERROR_INTERNAL_ERROR); starting it once more\n");
    return start();
}

UniqueHandle StartProgram(const std::wstring& program, HANDLE output) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION created = {};
    std::wstring commandLine = QuoteArgument(program);
    if (!StartOnceMoreAfterWineLoss([&] {
            return ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, output ? TRUE : FALSE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &created) != FALSE;
        }))
        return UniqueHandle();
    ::CloseHandle(created.hThread);
    return UniqueHandle(created.hProcess);
}

ProgramResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs, const std::wstring& workingDir) {
    ProgramResult result;
    UniqueHandle readEnd, writeEnd;
    if (!CreateOutputPipe(readEnd, writeEnd)) return result;

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = writeEnd.get();
    si.hStdError = writeEnd.get();
    PROCESS_INFORMATION pi = {};
    std::wstring mutableLine = commandLine;
    if (!StartOnceMoreAfterWineLoss([&] {
            return ::CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                    workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi) != FALSE;
        })) {
        result.output = "not started: CreateProcess error " + std::to_string(::GetLastError());
        return result;
    }
    result.started = true;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    writeEnd.reset();

    std::string output;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        PollPipe(readEnd.get(), stop, [&](const char* data, DWORD n) { output.append(data, n); });
    });
    if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
    }
    // The pipe normally breaks at once; the grace only matters when a
    // grandchild still holds it.
    for (DWORD waited = 0; waited < kOutputGraceMs && !stop; waited += 10) {
        DWORD available = 0;
        if (!::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr)) break;
        ::Sleep(10);
    }
    stop = true;
    reader.join();
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    result.output = output;
    return result;
}

DebuggeeProcess::~DebuggeeProcess() {
    bool running;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        running = m_started && !m_exited;
    }
    if (running) Terminate();
    if (m_debugThread.joinable()) m_debugThread.join();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(kOutputGraceMs), [this] { return m_outputDone; });
    }
    m_stopOutput = true;
    if (m_outputThread.joinable()) m_outputThread.join();
    if (m_process) ::CloseHandle(m_process);
}

bool DebuggeeProcess::Start(const std::wstring& commandLine, const std::wstring& workingDir) {
    m_debugThread = std::thread(&DebuggeeProcess::DebugLoop, this, commandLine, workingDir);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_startDone; });
    return m_started;
}

void DebuggeeProcess::DebugLoop(std::wstring commandLine, std::wstring workingDir) {
    UniqueHandle readEnd, writeEnd;
    bool piped = CreateOutputPipe(readEnd, writeEnd);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (piped) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd.get();
        si.hStdError = writeEnd.get();
    }
    PROCESS_INFORMATION pi = {};
    BOOL ok = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                               workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi);
    writeEnd.reset();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_startDone = true;
        m_started = ok != FALSE;
        if (ok) {
            m_process = pi.hProcess;
            m_processId = pi.dwProcessId;
        }
    }
    m_changed.notify_all();
    if (!ok) return;
    UniqueHandle thread(pi.hThread);
    if (!piped) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_outputDone = true;
    }
    if (piped) {
        HANDLE r = readEnd.release();
        m_outputThread = std::thread([this, r] {
            UniqueHandle owned(r);
            ReadOutput(owned.get());
        });
    }

    bool done = false;
    while (!done) {
        DEBUG_EVENT event = {};
        if (!::WaitForDebugEvent(&event, INFINITE)) break;
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
            std::wstring text;
            if (info.fUnicode) {
                std::wstring raw(info.nDebugStringLength, L'\0');
                SIZE_T got = 0;
                ::ReadProcessMemory(pi.hProcess, info.lpDebugStringData, &raw[0], raw.size() * sizeof(wchar_t), &got);
                raw.resize(got / sizeof(wchar_t));
                text = raw.substr(0, raw.find(L'\0'));
            } else {
                std::string raw(info.nDebugStringLength, '\0');
                SIZE_T got = 0;
                ::ReadProcessMemory(pi.hProcess, info.lpDebugStringData, &raw[0], raw.size(), &got);
                raw.resize(got);
                text = FromGbk(raw.substr(0, raw.find('\0')));
            }
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_texts.push_back(text);
            }
            m_changed.notify_all();
            break;
        }
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile) ::CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile) ::CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // Only the loader's initial breakpoint is ours to swallow.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            done = true;
            break;
        default:
            break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    ::WaitForSingleObject(pi.hProcess, 10000);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_exited = true;
        m_exitCode = code;
    }
    m_changed.notify_all();
}

void DebuggeeProcess::ReadOutput(HANDLE readEnd) {
    PollPipe(readEnd, m_stopOutput, [this](const char* data, DWORD n) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_output.append(data, n);
        }
        m_changed.notify_all();
    });
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_outputDone = true;
    }
    m_changed.notify_all();
}

bool DebuggeeProcess::WaitForDebugText(const std::wstring& part, DWORD timeoutMs, size_t fromIndex) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (size_t i = fromIndex; i < m_texts.size(); ++i)
            if (m_texts[i].find(part) != std::wstring::npos) return true;
        return false;
    });
}

bool DebuggeeProcess::WaitForOutput(const std::string& part, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_output.find(part) != std::string::npos; });
}

std::vector<std::wstring> DebuggeeProcess::DebugTexts() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_texts;
}

std::string DebuggeeProcess::Output() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_output;
}

bool DebuggeeProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    std::unique_lock<std::mutex> lock(m_mutex);
    bool exited = m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_exited; });
    if (exited && exitCode) *exitCode = m_exitCode;
    // Output may still be draining; it ends with the pipe.
    if (exited) m_changed.wait_for(lock, std::chrono::milliseconds(5000), [this] { return m_outputDone; });
    return exited;
}

void DebuggeeProcess::Terminate(UINT exitCode) {
    HANDLE process;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        process = m_process;
        if (!m_started || m_exited) return;
    }
    ::TerminateProcess(process, exitCode);
    WaitForExit(10000);
}

std::vector<std::wstring> RunAndCollectDebugTexts(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode) {
    DebuggeeProcess process;
    if (!process.Start(commandLine)) return {};
    if (!process.WaitForExit(timeoutMs, exitCode)) process.Terminate();
    return process.DebugTexts();
}
