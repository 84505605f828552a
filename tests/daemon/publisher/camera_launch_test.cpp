// runCamera, run by the host in a sandbox with a stand-in bridge: the
// bridge's command line and executable, the debug texts and the flag.
#include "tests/daemon/publisher/publisher_sandbox.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kFoundText[] = L"find QvGraph.exeProcess killing";
const wchar_t kKilledText[] = L"Process killing sucess";
const wchar_t kNotFoundText[] = L"进程：QvGraph.exe找不到";
const wchar_t kFailedText[] = L"OpenProcessEx_runCamera call faild";

std::wstring StartedText(const PublisherSandbox& sandbox, const std::wstring& arguments) {
    return L"QvGraph.exe start sucess cmd_line: " + sandbox.Dir() + kBridge + arguments;
}

TEST(RunCamera, StartsTheBridgeWithAudioThenVideoAndReplacesARunningOne) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.RunHost({L"video=Cam A", L"audio=Mic 1", L"run-camera", L"video=USB2.0 摄像头",
                                             L"audio=麦克风 (Realtek(R) Audio)", L"run-camera", L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kBridge);
    ASSERT_EQ(starts.size(), 2u) << host->Output();
    const std::wstring first = L" -a \"Mic 1\" -v \"Cam A\"";
    const std::wstring second = L" -a \"麦克风 (Realtek(R) Audio)\" -v \"USB2.0 摄像头\"";
    // The command line is the argument text alone; the executable comes
    // from the application name.
    EXPECT_EQ(starts[0].m_commandLine, first);
    EXPECT_EQ(starts[1].m_commandLine, second);
    EXPECT_EQ(starts[0].m_modulePath, sandbox.Dir() + kBridge);
    EXPECT_EQ(starts[1].m_modulePath, sandbox.Dir() + kBridge);
    EXPECT_FALSE(IsRunning(starts[0].m_processId)) << "the running bridge was not replaced";
    // The host has ended, and the job it held ended its bridge with it.
    EXPECT_TRUE(WaitUntilEnded(starts[1].m_processId, 3000)) << "the bridge outlived the program that started it";
    // Nothing ran before the first launch, so its texts of the kill are missing.
    std::vector<std::wstring> expected = {StartedText(sandbox, first), kFoundText, kKilledText,
                                          StartedText(sandbox, second)};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
    EXPECT_EQ(HostValue(host->Output(), "bridgeWanted"), "1");
    EXPECT_EQ(HostValue(host->Output(), "publishingWanted"), "0");
}

TEST(RunCamera, BridgeThatDoesNotComeUpIsReportedAndStillWanted) {
    PublisherSandbox sandbox(/*withEncoder=*/true, /*withBridge=*/false);
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.RunHost({L"video=Cam", L"audio=Mic", L"run-camera", L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<std::wstring> expected = {kNotFoundText, kFailedText,
                                          StartedText(sandbox, L" -a \"Mic\" -v \"Cam\"")};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
    EXPECT_EQ(HostValue(host->Output(), "bridgeWanted"), "1");
}

// Empty names give empty pairs of quotes; a name ending in a backslash must
// not swallow its closing quote and run into the next argument.
TEST(RunCamera, BridgeGetsEveryDeviceNameExactly) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const struct {
        std::wstring video;
        std::wstring audio;
        std::wstring line;
    } cases[] = {
        {L"", L"", L" -a \"\" -v \"\""},
        {L"Cam\\", L"D:\\Mic\\", L" -a \"D:\\Mic\\\\\" -v \"Cam\\\\\""},
    };
    std::vector<std::wstring> steps;
    for (const auto& c : cases) {
        steps.push_back(L"video=" + c.video);
        steps.push_back(L"audio=" + c.audio);
        steps.push_back(L"run-camera");
    }
    DebuggeeProcess* host = sandbox.RunHost(steps);
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kBridge);
    ASSERT_EQ(starts.size(), std::size(cases));
    for (size_t i = 0; i < starts.size(); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(starts[i].m_commandLine, c.line);
        // The line begins with a space, so the program's own name comes out empty.
        std::vector<std::wstring> args = SplitCommandLine(starts[i].m_commandLine);
        std::vector<std::wstring> expected = {L"", L"-a", c.audio, L"-v", c.video};
        EXPECT_EQ(args, expected) << ToUtf8(starts[i].m_commandLine);
    }
}

}  // namespace
