#include "common/unique_handle.h"
#include "tests/daemon/publisher/publisher_sandbox.h"

#include <gtest/gtest.h>

namespace {

std::string Utf8Dir(const PublisherSandbox& sandbox) {
    std::wstring dir = sandbox.Dir();
    return ToUtf8(dir.substr(0, dir.size() - 1));
}

TEST(ProcessUtilities, OwnDirectoryIsTheProgramsDirectoryWithoutBackslash) {
    // Names outside code page 936 too: the launches must find the encoder there.
    for (const wchar_t* name : {L"qv-发布-", L"QvPush 한국어 Gerät-"}) {
        SCOPED_TRACE(ToUtf8(name));
        PublisherSandbox sandbox(true, true, name);
        ASSERT_TRUE(sandbox.Ready());
        const std::wstring go = sandbox.NewEventName();
        auto host = sandbox.RunHostOnceStarted(
            {L"own-directory", L"audio=Mic", L"url=rtmp://a/kavo/b?k=1&t=2", L"run-publish", L"wait=" + go}, go, 1, 0);
        ASSERT_TRUE(host) << "the encoder was not started from " << ToUtf8(sandbox.Dir());
        EXPECT_EQ(HostValue(host->Output(), "own-directory"), Utf8Dir(sandbox)) << host->Output();
    }
}

TEST(ProcessUtilities, KillHitsEveryProcessOfTheNameAndNothingOfAnotherCase) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    // Wine's file names ignore case, so the lower-case copy lives apart.
    ASSERT_TRUE(sandbox.AddStandIn(L"lower\\qvshow.exe"));
    std::wstring encoder = sandbox.Dir() + kEncoder;
    std::wstring lower = sandbox.Dir() + L"lower\\qvshow.exe";
    auto host = sandbox.StartHost({L"find=QvShow.exe", L"kill=QvShow.exe",
                                   L"launch=" + encoder + L"| first", L"launch=" + encoder + L"| second",
                                   L"launch=" + lower + L"| lower", L"wait=" + sandbox.NewEventName()});
    ASSERT_TRUE(host);
    ASSERT_TRUE(sandbox.WaitForStarts(kEncoder, 2, 20000));
    ASSERT_TRUE(sandbox.WaitForStarts(L"lower\\qvshow.exe", 1, 20000));
    std::vector<DWORD> before = ProcessesNamed(kEncoder);
    std::vector<DWORD> lowerBefore = ProcessesNamed(L"qvshow.exe");
    ASSERT_EQ(before.size(), 2u) << "two stand-ins listed as QvShow.exe";
    ASSERT_EQ(lowerBefore.size(), 1u) << "the lower-case copy is listed under its own case";
    // The launching host stays: what it started ends with it.

    auto finder = sandbox.StartHost({L"find=QvShow.exe", L"find=qvshow.exe", L"find=QVSHOW.EXE",
                                     L"find=QvShow", L"kill=QVSHOW.EXE", L"kill=QvShow.exe", L"sleep=1000"});
    ASSERT_TRUE(finder);
    ASSERT_TRUE(finder->WaitForExit(30000));
    std::string out = finder->Output();
    EXPECT_EQ(HostValue(out, "find QvShow.exe"), "1") << out;
    EXPECT_EQ(HostValue(out, "find qvshow.exe"), "1") << out;
    EXPECT_EQ(HostValue(out, "find QVSHOW.EXE"), "0") << "no case folding: " << out;
    EXPECT_EQ(HostValue(out, "find QvShow"), "0") << "the whole name must match: " << out;
    EXPECT_EQ(HostValue(out, "kill QVSHOW.EXE"), "0") << out;
    EXPECT_EQ(HostValue(out, "kill QvShow.exe"), "1") << out;
    for (DWORD id : before) EXPECT_FALSE(IsRunning(id)) << "QvShow.exe " << id << " survived the kill";
    for (DWORD id : lowerBefore) EXPECT_TRUE(IsRunning(id)) << "qvshow.exe was killed by a case-blind match";
    host->Terminate();

    // Nothing of that name left: both answer false.
    auto after = sandbox.StartHost({L"find=QvShow.exe", L"kill=QvShow.exe"});
    ASSERT_TRUE(after);
    ASSERT_TRUE(after->WaitForExit(30000));
    EXPECT_EQ(HostValue(after->Output(), "find QvShow.exe"), "0") << after->Output();
    EXPECT_EQ(HostValue(after->Output(), "kill QvShow.exe"), "0") << after->Output();
    TerminateProcessesNamed(L"qvshow.exe");
}

TEST(ProcessUtilities, KilledProcessesEndWithExitCodeFour) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    std::wstring bridge = sandbox.Dir() + kBridge;
    auto host = sandbox.StartHost({L"launch=" + bridge + L"| x", L"wait=" + sandbox.NewEventName()});
    ASSERT_TRUE(host);
    ASSERT_TRUE(sandbox.WaitForStarts(kBridge, 1, 20000));
    DWORD id = sandbox.Starts(kBridge)[0].m_processId;
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    ASSERT_TRUE(process);
    auto killer = sandbox.StartHost({L"kill=QvGraph.exe"});
    ASSERT_TRUE(killer);
    ASSERT_TRUE(killer->WaitForExit(30000));
    ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 4u);
}

TEST(ProcessUtilities, LaunchProcessRunsTheProgramWithTheGivenCommandLine) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    std::wstring bridge = sandbox.Dir() + kBridge;
    const struct {
        std::wstring step;
        std::wstring expectedLine;
    } cases[] = {
        // With an application name the command line is passed as it is.
        {L"launch=" + bridge + L"| -a \"mic\" -v \"cam\"", L" -a \"mic\" -v \"cam\""},
        // Without one the executable comes from the front of the line.
        {L"launch=|" + bridge + L" tail", bridge + L" tail"},
    };
    size_t expectedStarts = 0;
    for (const auto& c : cases) {
        // The host waits until the start is recorded: what it launched ends with it.
        const std::wstring go = sandbox.NewEventName();
        auto host = sandbox.RunHostOnceStarted({c.step, L"wait=" + go}, go, 0, ++expectedStarts);
        ASSERT_TRUE(host) << ToUtf8(c.step);
        EXPECT_EQ(HostValue(host->Output(), "launch"), "1") << ToUtf8(c.step);
        StandInStart start = sandbox.Starts(kBridge).back();
        EXPECT_EQ(start.m_commandLine, c.expectedLine) << ToUtf8(c.step);
        EXPECT_EQ(start.m_modulePath, bridge) << ToUtf8(c.step);
    }
    auto missing = sandbox.StartHost({L"launch=" + sandbox.Dir() + L"missing.exe| x"});
    ASSERT_TRUE(missing);
    ASSERT_TRUE(missing->WaitForExit(30000));
    EXPECT_EQ(HostValue(missing->Output(), "launch"), "0");
}

TEST(ProcessUtilities, FailedPipeLaunchStartsNoReader) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    auto host = sandbox.StartHost({L"launch-pipe=" + sandbox.Dir() + L"missing.exe| -f dshow", L"readers"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->WaitForExit(30000));
    EXPECT_EQ(HostValue(host->Output(), "launch-pipe"), "0") << host->Output();
    EXPECT_EQ(HostValue(host->Output(), "readers"), "0") << host->Output();
    for (const std::wstring& text : host->DebugTexts())
        EXPECT_EQ(text.find(L"ThreadRecvPipeData"), std::wstring::npos) << "a reader ran: " << ToUtf8(text);
}

}  // namespace

namespace {

TEST(ProcessUtilities, PipeLaunchRunsPathSpaceArgumentsUnquoted) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring encoder = sandbox.Dir() + kEncoder;
    const std::wstring go = sandbox.NewEventName();
    DebuggeeProcess* host = sandbox.RunHostOnceStarted(
        {L"launch-pipe=" + encoder + L"| -f dshow  -i \"x\"", L"wait=" + go, L"readers"}, go, 1, 0);
    ASSERT_TRUE(host) << "the host did not start, launch or end";
    EXPECT_EQ(HostValue(host->Output(), "launch-pipe"), "1") << host->Output();
    EXPECT_EQ(HostValue(host->Output(), "readers"), "1") << "the encoder's reader is not running";
    StandInStart start = sandbox.Starts(kEncoder)[0];
    EXPECT_EQ(start.m_commandLine, encoder + L"  -f dshow  -i \"x\"");
    EXPECT_EQ(start.m_modulePath, encoder);
}

// Each reader closes its pipe when the pipe breaks, and PipeManager forgets
// finished readers, so restarts leave no handles behind.
TEST(ProcessUtilities, HandleCountStaysFlatOverAHundredEncoderRestarts) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.StartHost({L"restart-encoder=100"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->WaitForExit(55000));
    std::string out = host->Output();
    ASSERT_EQ(HostValue(out, "launched"), "105") << out;
    long settled = atol(HostValue(out, "handles-settled").c_str());
    long end = atol(HostValue(out, "handles-end").c_str());
    ASSERT_GT(settled, 0) << out;
    // A few handles of the system's own may come and go; a leak is one or
    // two per restart.
    EXPECT_LE(end, settled + 10) << out;
    EXPECT_EQ(HostValue(out, "readers"), "0") << out;
}

}  // namespace
