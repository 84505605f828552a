// RunPublish and StopExecutable, run by the host in a sandbox with stand-in
// executables: the encoder's command line as the stand-in received it, the
// debug texts in order, and the wanted flags.
#include "common/child_exit_codes.h"
#include "tests/daemon/publisher/encoder_level_lines.h"
#include "tests/daemon/publisher/publisher_sandbox.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kUrl[] = L"rtmp://push.example.cn/kavo/room1?k=0123456789abcdef0123456789abcdef&t=5f5e1000";

const wchar_t kCallText[] = L"OpenProcessEx_RunPublish call\r\n";
const wchar_t kFailedText[] = L"OpenProcessEx_RunPublish process start faild\r\n";
const wchar_t kKilledText[] = L"杀进程成功!\r\n";

std::wstring StartedText(const std::wstring& commandLineTail) {
    return L"QvShow.exe start sucess ,cmd_line:" + commandLineTail;
}

TEST(RunPublish, CommandLineOfEveryPushLevelIsThePresetFilledInByteForByte) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring mic1 = L"麦克风 (USB 音频设备)";
    const std::wstring mic2 = L"线路输入 (Realtek(R) Audio)";
    const struct {
        int level;
        const std::wstring& audio;
        const wchar_t* pattern;
    } cases[] = {
        {-1, mic1, kLevel3}, {0, mic2, kLevel0}, {1, mic1, kLevel1},
        {2, mic2, kLevel2},  {3, mic1, kLevel3}, {9, mic2, kLevel3},
        {4, mic1, kLevel4},  {5, mic2, kLevel5}, {6, mic1, kLevel3},
    };
    std::vector<std::wstring> steps = {std::wstring(L"video=") + kPublishedCamera, std::wstring(L"url=") + kUrl};
    for (const auto& c : cases) {
        steps.push_back(L"level=" + std::to_wstring(c.level));
        steps.push_back(L"audio=" + c.audio);
        steps.push_back(L"run-publish");
    }
    DebuggeeProcess* host = sandbox.StartHost(steps);
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->WaitForExit(40000));
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), std::size(cases)) << host->Output();
    const std::wstring path = sandbox.Dir() + kEncoder;
    for (size_t i = 0; i < starts.size(); ++i) {
        const auto& c = cases[i];
        // Path unquoted, two spaces, the filled template; nothing escaped.
        std::wstring expected = path + L"  " + Fill(c.pattern, kPublishedCamera, c.audio, kUrl);
        EXPECT_EQ(starts[i].m_commandLine, expected) << "push level " << c.level;
        EXPECT_EQ(starts[i].m_modulePath, path) << "push level " << c.level;
    }
}

TEST(RunPublish, WritesItsTextsAndReplacesARunningEncoder) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring audio = L"麦克风";
    DebuggeeProcess* host = sandbox.RunHost({std::wstring(L"video=") + kPublishedCamera, L"audio=" + audio,
                                             std::wstring(L"url=") + kUrl, L"level=2", L"run-publish",
                                             L"run-publish", L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), 2u);
    // The text joins the path and the argument text, which begins with a space.
    const std::wstring tail = sandbox.Dir() + kEncoder + L" " + Fill(kLevel2, kPublishedCamera, audio, kUrl);
    // No "killed" text before the first launch: nothing ran then.
    std::vector<std::wstring> expected = {kCallText, StartedText(tail), kKilledText, kCallText, StartedText(tail)};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
    EXPECT_FALSE(IsRunning(starts[0].m_processId)) << "the first encoder was not replaced";
    // The host has ended, and the job it held ended its encoder with it.
    EXPECT_TRUE(WaitUntilEnded(starts[1].m_processId, 3000)) << "the encoder outlived the program that started it";
    EXPECT_EQ(HostValue(host->Output(), "publishingWanted"), "1");
    EXPECT_EQ(HostValue(host->Output(), "bridgeWanted"), "0");
}

// What an earlier daemon of this folder left (a QvShow.exe running on its
// own) is ended before the launch; a QvShow.exe of another folder is not.
TEST(RunPublish, EndsLeftoversOfItsOwnFolderOnly) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    ASSERT_TRUE(sandbox.AddStandIn(L"other\\QvShow.exe"));
    UniqueHandle leftover = StartProgram(sandbox.Dir() + kEncoder);
    UniqueHandle foreign = StartProgram(sandbox.Dir() + L"other\\QvShow.exe");
    ASSERT_TRUE(leftover && foreign);
    ASSERT_TRUE(sandbox.WaitForStarts(kEncoder, 1, 20000));
    ASSERT_TRUE(sandbox.WaitForStarts(L"other\\QvShow.exe", 1, 20000));
    const std::wstring go = sandbox.NewEventName();
    DebuggeeProcess* host = sandbox.RunHostOnceStarted(
        {L"audio=Mic", std::wstring(L"url=") + kUrl, L"level=0", L"run-publish", L"wait=" + go}, go, 2, 0);
    ASSERT_TRUE(host) << "the host did not launch or did not end";
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(leftover.get(), 0)) << "the leftover still runs";
    DWORD code = 0;
    ::GetExitCodeProcess(leftover.get(), &code);
    EXPECT_EQ(kExitKilledByDaemon, code);
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(foreign.get(), 0)) << "another folder's QvShow.exe was ended";
    EXPECT_EQ(LaunchTexts(host->DebugTexts()).front(), kKilledText);
    ::TerminateProcess(foreign.get(), 1);
}

TEST(RunPublish, EncoderThatDoesNotComeUpIsReportedAndStillWanted) {
    PublisherSandbox sandbox(/*withEncoder=*/false);
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.RunHost(
        {L"audio=Mic", std::wstring(L"url=") + kUrl, L"level=0", L"run-publish", L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    const std::wstring tail = sandbox.Dir() + kEncoder + L" " + Fill(kLevel0, L"", L"Mic", kUrl);
    std::vector<std::wstring> expected = {kCallText, kFailedText, StartedText(tail)};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
    EXPECT_EQ(HostValue(host->Output(), "publishingWanted"), "1");
}

// A value ending in a backslash must not swallow its closing quote: the
// encoder splits its command line like CommandLineToArgvW and must get
// every value exactly, and the stream URL as the one output argument.
TEST(RunPublish, EncoderGetsEveryValueExactlyWhateverBackslashesAndQuotesItHolds) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const struct {
        std::wstring audio;
        std::wstring url;
        std::wstring audioOnTheLine;  // as it stands between the quotes
    } cases[] = {
        {L"USB Mic\\", kUrl, L"USB Mic\\\\"},
        {L"Mic\\\\", kUrl, L"Mic\\\\\\\\"},
        // Backslashes not before a quote mean themselves and stay as they are.
        {L"Line\\In 麦克风", L"rtmp://h/kavo/a\\b\\?k=1&t=2", L"Line\\In 麦克风"},
        {L"say \"hi\"", L"rtmp://h/kavo/x?k=\"1\"&t=2", L"say \\\"hi\\\""},
    };
    std::vector<std::wstring> steps = {L"level=3"};
    for (const auto& c : cases) {
        steps.push_back(L"audio=" + c.audio);
        steps.push_back(L"url=" + c.url);
        steps.push_back(std::wstring(L"video=") + kPublishedCamera);
        steps.push_back(L"run-publish");
    }
    DebuggeeProcess* host = sandbox.RunHost(steps);
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), std::size(cases));
    const std::wstring path = sandbox.Dir() + kEncoder;
    for (size_t i = 0; i < starts.size(); ++i) {
        const auto& c = cases[i];
        std::vector<std::wstring> expected = {path,
                                              L"-f",
                                              L"dshow",
                                              L"-i",
                                              std::wstring(L"video=") + kPublishedCamera + L":audio=" + c.audio,
                                              L"-r:v",
                                              L"7",
                                              L"-s:v",
                                              L"480*360",
                                              L"-b:v",
                                              L"30k",
                                              L"-c:v",
                                              L"libx264",
                                              L"-tune",
                                              L"zerolatency",
                                              L"-x264-params",
                                              L"keyint=20:keyint_min=20",
                                              L"-pix_fmt",
                                              L"yuv420p",
                                              L"-c:a",
                                              L"libaacplus",
                                              L"-ar",
                                              L"44100",
                                              L"-ab",
                                              L"32k",
                                              L"-f",
                                              L"flv",
                                              c.url + L" live=1"};
        EXPECT_EQ(SplitCommandLine(starts[i].m_commandLine), expected) << ToUtf8(starts[i].m_commandLine);
        std::wstring url = c.url;
        for (size_t at = 0; (at = url.find(L'"', at)) != std::wstring::npos; at += 2) url.insert(at, L"\\");
        EXPECT_EQ(starts[i].m_commandLine, path + L"  " + Fill(kLevel3, kPublishedCamera, c.audioOnTheLine, url));
    }
}

// Installed under a directory with a blank, the path must still reach the
// encoder as one argument, or the encoder takes its second half for an
// output file.
TEST(RunPublish, PathWithABlankIsQuotedAndNothingElseChanges) {
    PublisherSandbox sandbox(true, true, L"qv 发布 ");
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.RunHost({std::wstring(L"video=") + kPublishedCamera, L"audio=麦克风",
                                             std::wstring(L"url=") + kUrl, L"level=0", L"run-publish"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), 1u) << host->Output();
    const std::wstring path = sandbox.Dir() + kEncoder;
    const std::wstring formatted = Fill(kLevel0, kPublishedCamera, L"麦克风", kUrl);
    EXPECT_EQ(starts[0].m_commandLine, L"\"" + path + L"\"  " + formatted);
    std::vector<std::wstring> args = SplitCommandLine(starts[0].m_commandLine);
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[0], path);
    EXPECT_EQ(args[1], L"-f");
    EXPECT_EQ(FindText(LaunchTexts(host->DebugTexts()), StartedText(path + L" " + formatted)), 1);
}

TEST(RunPublish, LongStreamUrlIsPassedWholeNeverCut) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    // Well past the 1023 bytes of a fixed formatting room.
    DebuggeeProcess* host = sandbox.RunHost({std::wstring(L"video=") + kPublishedCamera, L"audio=麦克风",
                                             std::wstring(L"url=") + kUrl, L"url-pad=1500", L"level=1",
                                             L"run-publish"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    std::vector<StandInStart> starts = sandbox.Starts(kEncoder);
    ASSERT_EQ(starts.size(), 1u);
    const std::wstring url = kUrl + std::wstring(1500, L'p');
    EXPECT_EQ(starts[0].m_commandLine, sandbox.Dir() + kEncoder + L"  " + Fill(kLevel1, kPublishedCamera, L"麦克风", url));
    std::vector<std::wstring> args = SplitCommandLine(starts[0].m_commandLine);
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args.back(), url + L" live=1");
}

TEST(RunPublish, CommandLineTooLongForTheSystemIsNotLaunchedAtAll) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    // A Windows command line holds at most 32767 units with its terminator.
    DebuggeeProcess* host = sandbox.RunHost({std::wstring(L"video=") + kPublishedCamera, L"audio=麦克风",
                                             std::wstring(L"url=") + kUrl, L"url-pad=33000", L"level=1",
                                             L"run-publish", L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    for (const StandInStart& start : sandbox.Starts(kEncoder))
        ADD_FAILURE() << "launched with a command line of " << start.m_commandLine.size() << " units: "
                      << ToUtf8(start.m_commandLine.substr(start.m_commandLine.size() - 60));
    std::vector<std::wstring> texts = LaunchTexts(host->DebugTexts());
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], kCallText);
    EXPECT_EQ(texts[1], kFailedText);
    EXPECT_EQ(HostValue(host->Output(), "publishingWanted"), "1");
}

TEST(StopExecutable, KillsEveryProcessOfTheNameAndClearsOnlyItsFlag) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring encoder = sandbox.Dir() + kEncoder;
    const std::wstring bridge = sandbox.Dir() + kBridge;
    const std::wstring go = sandbox.NewEventName();
    DebuggeeProcess* host = sandbox.RunHostOnceStarted(
        {L"publishing-wanted=1", L"bridge-wanted=1", L"launch=" + encoder + L"| one", L"launch=" + encoder + L"| two",
         L"launch=" + bridge + L"| three", L"wait=" + go, L"stop=QvShow.exe", L"mark=encoder", L"state",
         L"stop=QvGraph.exe", L"mark=bridge", L"state"},
        go, 2, 1);
    ASSERT_TRUE(host) << "the host did not start, launch all three or end";
    std::string out = host->Output();
    size_t bridgeMark = out.find("mark bridge");
    ASSERT_NE(bridgeMark, std::string::npos) << out;
    EXPECT_EQ(HostValue(out, "publishingWanted"), "0") << out;
    EXPECT_EQ(HostValue(out, "bridgeWanted"), "1") << "the encoder's stop touched the bridge's flag: " << out;
    EXPECT_EQ(HostValue(out.substr(bridgeMark), "bridgeWanted"), "0") << out;
    for (const StandInStart& start : sandbox.Starts(kEncoder)) EXPECT_FALSE(IsRunning(start.m_processId));
    for (const StandInStart& start : sandbox.Starts(kBridge)) EXPECT_FALSE(IsRunning(start.m_processId));
    std::vector<std::wstring> expected = {L"QvShow.exe stop sucess", L"QvGraph.exe stop sucess"};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
}

TEST(StopExecutable, ClearsTheFlagAlsoWhenNothingRuns) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    // Between a crash and the supervisor's next cycle nothing runs; a stop
    // must still keep the executable from coming back.
    DebuggeeProcess* host = sandbox.RunHost({L"publishing-wanted=1", L"bridge-wanted=1", L"stop=QvShow.exe",
                                             L"stop=QvGraph.exe", L"state"});
    ASSERT_TRUE(host) << "the host did not start or did not end";
    EXPECT_EQ(HostValue(host->Output(), "publishingWanted"), "0") << host->Output();
    EXPECT_EQ(HostValue(host->Output(), "bridgeWanted"), "0") << host->Output();
    EXPECT_TRUE(LaunchTexts(host->DebugTexts()).empty()) << "a stop text without a running process";
}

TEST(StopExecutable, OtherNamesChangeNoFlag) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    ASSERT_TRUE(sandbox.AddStandIn(L"Other.exe"));
    const std::wstring go = sandbox.NewEventName();
    DebuggeeProcess* host = sandbox.StartHost({L"publishing-wanted=1", L"bridge-wanted=1",
                                               L"launch=" + sandbox.Dir() + L"Other.exe| x", L"wait=" + go,
                                               L"stop=qvshow.exe", L"stop=Other.exe", L"state"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(sandbox.WaitForStarts(L"Other.exe", 1, 20000));
    sandbox.Signal(go);
    ASSERT_TRUE(host->WaitForExit(30000));
    EXPECT_EQ(HostValue(host->Output(), "publishingWanted"), "1") << host->Output();
    EXPECT_EQ(HostValue(host->Output(), "bridgeWanted"), "1") << host->Output();
    std::vector<std::wstring> expected = {L"Other.exe stop sucess"};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
    EXPECT_FALSE(IsRunning(sandbox.Starts(L"Other.exe")[0].m_processId));
}

}  // namespace

namespace {

// The tray's exit stops the encoder while a session's "start" waits on the
// launch lock; once the exit has begun neither that start nor any later
// launch may run, or an encoder would publish on with no icon left.
TEST(ExitSequence, NothingIsLaunchedOnceTheExitHasBegun) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    DebuggeeProcess* host = sandbox.StartHost(
        {std::wstring(L"video=") + kPublishedCamera, std::wstring(L"url=") + kUrl, L"audio=麦克风", L"hold-encoder-lock",
         L"async=run-publish", L"async=exit", L"launches-closed", L"release-encoder-lock", L"join", L"run-camera",
         L"find=QvShow.exe", L"find=QvGraph.exe", L"state"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->WaitForExit(60000));
    const std::string out = host->Output();
    EXPECT_NE(out.find("launches-closed 1"), std::string::npos) << out;
    EXPECT_TRUE(sandbox.Starts(kEncoder).empty()) << "an encoder was started after the exit began";
    EXPECT_TRUE(sandbox.Starts(kBridge).empty()) << "a bridge was started after the exit began";
    EXPECT_NE(out.find("find QvShow.exe 0"), std::string::npos) << out;
    EXPECT_EQ(HostValue(out, "publishingWanted"), "0") << out;
}

}  // namespace
