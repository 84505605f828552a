// DispatchCommand behind ParseCommand, as a session runs it, in the host
// with stand-in executables.
#include "tests/daemon/publisher/encoder_level_lines.h"
#include "tests/daemon/publisher/publisher_sandbox.h"

#include <gtest/gtest.h>

namespace {

// Whatever camera the client named, the encoder publishes the virtual one.
std::wstring Published(const wchar_t* level, const std::wstring& audio, const std::wstring& url) {
    return Fill(level, kPublishedCamera, audio, url);
}

TEST(DispatchCommand, StartPublishesTheVirtualCameraWhateverCameraTheClientNamed) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring url = L"rtmp://push.example.cn/kavo/room1?k=0123456789abcdef0123456789abcdef&t=5f000000";
    DebuggeeProcess* host = sandbox.RunHost(
        {L"announced=1", L"command=start videoDevice=\"USB2.0 摄像头\" audioDevice=\"麦克风\" streamUrl=\"" + url +
                             L"\" pushLevel=\"1\"",
         L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::string out = host->Output();
    EXPECT_EQ(HostValue(out, "accepted"), "1") << out;
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].m_commandLine, sandbox.Dir() + kEncoder + L"  " + Published(kLevel1, L"麦克风", url));
    EXPECT_TRUE(sandbox.Starts(kBridge).empty()) << "start touched the bridge";
    // Announced again at the next receive time-out, even when unchanged.
    EXPECT_EQ(HostValue(out, "lastAnnouncedLevel"), "-1") << out;
    EXPECT_EQ(HostValue(out, "publishingWanted"), "1");
    EXPECT_EQ(HostValue(out, "bridgeWanted"), "0");
    EXPECT_EQ(FromUtf8(HostValue(out, "video")), L"USB2.0 摄像头") << "the parse keeps the client's camera";
}

TEST(DispatchCommand, StartWithoutStreamUrlPublishesToTheLocalAddress) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    // The parse never accepts such a start; the dispatch alone still copes.
    DebuggeeProcess* host = sandbox.RunHost({L"level=0", L"dispatch=start|Cam A|Mic|"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].m_commandLine,
              sandbox.Dir() + kEncoder + L"  " + Published(kLevel0, L"Mic", L"rtmp://127.0.0.1:19991/live/2"));
}

TEST(DispatchCommand, StopEndsEncoderThenBridgeAndClearsBothFlags) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring go = sandbox.NewEventName();
    DebuggeeProcess* host = sandbox.RunHostOnceStarted(
        {L"publishing-wanted=1", L"bridge-wanted=1", L"launch=" + sandbox.Dir() + kBridge + L"| b",
         L"launch=" + sandbox.Dir() + kEncoder + L"| e", L"wait=" + go, L"command=stop", L"state"},
        go, 1, 1);
    ASSERT_TRUE(host) << "the host did not start, launch both or end";
    std::string out = host->Output();
    EXPECT_EQ(HostValue(out, "accepted"), "1") << out;
    EXPECT_EQ(HostValue(out, "publishingWanted"), "0") << out;
    EXPECT_EQ(HostValue(out, "bridgeWanted"), "0") << out;
    std::vector<std::wstring> expected = {L"QvShow.exe stop sucess", L"QvGraph.exe stop sucess"};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
    EXPECT_FALSE(IsRunning(sandbox.Starts(kEncoder)[0].m_processId));
    EXPECT_FALSE(IsRunning(sandbox.Starts(kBridge)[0].m_processId));
}

TEST(DispatchCommand, StopWithNothingRunningStillClearsBothFlags) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host =
        sandbox.StartHost({L"publishing-wanted=1", L"bridge-wanted=1", L"command=stop", L"state"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->WaitForExit(30000));
    std::string out = host->Output();
    EXPECT_EQ(HostValue(out, "accepted"), "1") << out;
    EXPECT_EQ(HostValue(out, "publishingWanted"), "0") << out;
    EXPECT_EQ(HostValue(out, "bridgeWanted"), "0") << out;
    EXPECT_TRUE(LaunchTexts(host->DebugTexts()).empty());
}

TEST(DispatchCommand, PreviewStartsOnlyTheBridge) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring go = sandbox.NewEventName();
    const std::wstring done = sandbox.NewEventName();
    DebuggeeProcess* host = sandbox.StartHost({L"launch=" + sandbox.Dir() + kEncoder + L"| running", L"wait=" + go,
                                               L"command=preview videoDevice=\"USB2.0 摄像头\" audioDevice=\"麦克风\"",
                                               L"state", L"wait=" + done});
    ASSERT_TRUE(host);
    ASSERT_TRUE(sandbox.WaitForStarts(kEncoder, 1, 20000));
    sandbox.Signal(go);
    // Looked at while the host lives: what it started ends with it.
    ASSERT_TRUE(host->WaitForOutput("publishingWanted", 20000));
    EXPECT_TRUE(IsRunning(sandbox.Starts(kEncoder)[0].m_processId)) << "preview ended the encoder";
    sandbox.Signal(done);
    ASSERT_TRUE(host->WaitForExit(30000));
    std::string out = host->Output();
    EXPECT_EQ(HostValue(out, "accepted"), "1") << out;
    std::vector<StandInStart> bridges = sandbox.Starts(kBridge);
    ASSERT_EQ(bridges.size(), 1u);
    EXPECT_EQ(bridges[0].m_commandLine, L" -a \"麦克风\" -v \"USB2.0 摄像头\"");
    EXPECT_EQ(sandbox.Starts(kEncoder).size(), 1u) << "preview started an encoder";
    EXPECT_EQ(HostValue(out, "bridgeWanted"), "1");
    EXPECT_EQ(HostValue(out, "publishingWanted"), "0");
}

TEST(DispatchCommand, OtherWordsDoNothing) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.RunHost({L"publishing-wanted=1", L"bridge-wanted=1", L"announced=2",
                                             L"dispatch=Start|Cam|Mic|rtmp://h/kavo/r?k=1&t=2",
                                             L"dispatch=stop |||", L"dispatch=previews|Cam|Mic|", L"dispatch=|||",
                                             L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::string out = host->Output();
    EXPECT_TRUE(sandbox.Starts(kEncoder).empty());
    EXPECT_TRUE(sandbox.Starts(kBridge).empty());
    EXPECT_EQ(HostValue(out, "publishingWanted"), "1") << out;
    EXPECT_EQ(HostValue(out, "bridgeWanted"), "1") << out;
    EXPECT_EQ(HostValue(out, "lastAnnouncedLevel"), "2") << out;
    EXPECT_TRUE(LaunchTexts(host->DebugTexts()).empty());
}

}  // namespace
