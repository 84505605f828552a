#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace {

std::wstring SampleProgram() { return TestBinDir() + L"debug_text_sample_program.exe"; }

TEST(ChildProcess, CollectsDebugTextsInOrderDecodedFromGbk) {
    DWORD exitCode = 0;
    auto texts = RunAndCollectDebugTexts(QuoteArgument(SampleProgram()), 30000, &exitCode);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], L"ZrDaemon_第一个实例启动");
    EXPECT_EQ(texts[1], L"宽字符 text");
    EXPECT_EQ(texts[2], L"third");
    EXPECT_EQ(exitCode, 7u);
}

TEST(ChildProcess, DebuggeeOutputAndWaitsWhileRunning) {
    DebuggeeProcess process;
    ASSERT_TRUE(process.Start(QuoteArgument(SampleProgram()) + L" wait"));
    EXPECT_TRUE(process.WaitForDebugText(L"third", 10000));
    EXPECT_TRUE(process.WaitForOutput("printed\r\n", 10000));
    EXPECT_FALSE(process.WaitForExit(200));
    EXPECT_FALSE(process.WaitForDebugText(L"never sent", 100));
    process.Terminate(3);
    DWORD code = 0;
    EXPECT_TRUE(process.WaitForExit(5000, &code));
    EXPECT_EQ(code, 3u);
}

TEST(ChildProcess, RunProgramReturnsRawOutputAndExitCode) {
    ProgramResult result = RunProgram(QuoteArgument(SampleProgram()));
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 7u);
    EXPECT_EQ(result.output, "printed\r\n");

    ProgramResult hung = RunProgram(QuoteArgument(SampleProgram()) + L" wait", 1000);
    EXPECT_TRUE(hung.timedOut);
}

TEST(ChildProcess, QuoteArgumentRoundTripsThroughCommandLineToArgv) {
    const std::wstring cases[] = {L"plain", L"with space", L"trailing\\", L"a\\\"b", L"\\\\server\\share\\",
                                  L"", L"quote\"inside"};
    for (const auto& value : cases) {
        std::wstring line = L"prog.exe " + QuoteArgument(value) + L" next";
        int argc = 0;
        LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &argc);
        ASSERT_EQ(argc, 3) << ToUtf8(line);
        EXPECT_EQ(std::wstring(argv[1]), value) << ToUtf8(line);
        EXPECT_EQ(std::wstring(argv[2]), L"next");
        ::LocalFree(argv);
    }
}

// Only a start that Wine lost is made again, and only once.
TEST(ChildProcess, StartsOnceMoreOnlyAfterWineLostTheProcess) {
    const struct {
        std::vector<DWORD> errors;  // the last error of each failed start, in order
        bool started;
        size_t starts;
    } cases[] = {
        {{}, true, 1},
        {{ERROR_INTERNAL_ERROR}, true, 2},
        {{ERROR_INTERNAL_ERROR, ERROR_INTERNAL_ERROR}, false, 2},
        {{ERROR_FILE_NOT_FOUND}, false, 1},
    };
    for (const auto& c : cases) {
        size_t starts = 0;
        bool started = StartOnceMoreAfterWineLoss([&] {
            if (starts == c.errors.size()) return ++starts, true;
            ::SetLastError(c.errors[starts++]);
            return false;
        });
        EXPECT_EQ(started, c.started) << c.errors.size();
        EXPECT_EQ(starts, c.starts) << c.errors.size();
    }
}

}  // namespace

// A grandchild that keeps the output pipe open must not hold the caller.
TEST(ChildProcess, OutputHeldByAGrandchildDoesNotBlock) {
    auto endChild = [](const std::string& output) {
        size_t at = output.find("child ");
        ASSERT_NE(at, std::string::npos) << output;
        DWORD pid = std::stoul(output.substr(at + 6));
        HANDLE child = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        ASSERT_NE(child, nullptr);
        ::TerminateProcess(child, 1);
        ::WaitForSingleObject(child, 5000);
        ::CloseHandle(child);
    };
    ProgramResult result = RunProgram(QuoteArgument(SampleProgram()) + L" spawn", 10000);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 7u);
    endChild(result.output);

    std::string output;
    {
        DebuggeeProcess debuggee;
        ASSERT_TRUE(debuggee.Start(QuoteArgument(SampleProgram()) + L" spawn"));
        ASSERT_TRUE(debuggee.WaitForExit(10000));
        ASSERT_TRUE(debuggee.WaitForOutput("child ", 5000));
        output = debuggee.Output();
    }
    endChild(output);
}
