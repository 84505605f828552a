#pragma once
// Running Windows programs from tests and collecting what they print and
// what they write to the debugger output.
#include <windows.h>

#include "common/non_copyable.h"
#include "common/quote_argument.h"
#include "common/unique_handle.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Directory of the running test program, with a trailing backslash; the
// build puts every program and the camera module there.
std::wstring TestBinDir();


// UTF-16 <-> UTF-8 for readable assertions.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Code page 936 bytes to UTF-16, as a debugger shows them.
std::wstring FromGbk(const std::string& bytes);

// Wine's CreateProcess fails with ERROR_INTERNAL_ERROR when the new process
// dies before it has started: about one start in 1500 in ctest runs here,
// none in over 8000 outside it. The daemon's supervisor retries such a start
// after its back-off; a test starts once more at once, and says so on
// standard error, so that what it counts is the code under test, not that
// start. `start` returns false with the last error set when it fails.
bool StartOnceMoreAfterWineLoss(const std::function<bool()>& start);

// RunProgram's exit code for a program that could not be started, never
// to be mistaken for one that ran and succeeded.
constexpr DWORD kNotStarted = 0xFFFFFFFF;

struct ProgramResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = kNotStarted;
    std::string output;  // standard output and standard error, raw bytes
};

// Runs commandLine (the program path first) to its end; a program still
// running after timeoutMs is terminated and reported as timed out.
ProgramResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 30000,
                         const std::wstring& workingDir = std::wstring());

// Starts the program, with no arguments and no window, and does not wait
// for it. Its standard output and error go to `output` when one is given
// (an inheritable handle, the only one the program inherits on purpose).
// The process, or an empty handle when it did not start.
UniqueHandle StartProgram(const std::wstring& program, HANDLE output = nullptr);

// A program run as a debuggee: its debug texts are collected in order,
// decoded from code page 936 (or taken as UTF-16 when sent so), and its
// standard output is collected too. The debugger loop runs on a thread of
// its own, as Windows requires the creating thread to wait for the events.
class DebuggeeProcess : private CNonCopyable {
public:
    DebuggeeProcess() = default;
    ~DebuggeeProcess();

    bool Start(const std::wstring& commandLine, const std::wstring& workingDir = std::wstring());

    // Waits until a debug text containing `part` has arrived (or any text
    // arrived since `fromIndex` does); true when it did within timeoutMs.
    bool WaitForDebugText(const std::wstring& part, DWORD timeoutMs, size_t fromIndex = 0);
    // Waits until the printed output contains `part`.
    bool WaitForOutput(const std::string& part, DWORD timeoutMs);

    std::vector<std::wstring> DebugTexts();
    std::string Output();
    DWORD ProcessId() const { return m_processId; }

    // Waits for the process to end; true with its exit code when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Terminate(UINT exitCode = 1);

private:
    void DebugLoop(std::wstring commandLine, std::wstring workingDir);
    void ReadOutput(HANDLE readEnd);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::wstring> m_texts;
    std::string m_output;
    bool m_startDone = false;
    bool m_started = false;
    bool m_exited = false;
    bool m_outputDone = false;
    std::atomic<bool> m_stopOutput{false};
    DWORD m_exitCode = 0;
    DWORD m_processId = 0;
    HANDLE m_process = nullptr;
    std::thread m_debugThread;
    std::thread m_outputThread;
};

// Runs a program as a debuggee to its end and returns its debug texts.
std::vector<std::wstring> RunAndCollectDebugTexts(const std::wstring& commandLine, DWORD timeoutMs = 30000,
                                                  DWORD* exitCode = nullptr);
