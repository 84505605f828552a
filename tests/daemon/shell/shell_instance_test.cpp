// QvPushServer.exe under Wine with a display: the first copy starts the
// services, later copies (and a copy that cannot create its mutex) stay
// tray icons without them.
#include "tests/daemon/shell/loopback_client.h"
#include "tests/daemon/shell/shell_test_fixture.h"

#include <algorithm>
#include <memory>

namespace {

TEST_F(ShellDaemonTest, FirstInstanceAddsIconHidesWindowAndServesBothPorts) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    ASSERT_TRUE(daemon.Process().WaitForDebugText(kFirstInstanceText, 10000))
        << "debug texts: " << ToUtf8Texts(daemon.Process().DebugTexts());
    EXPECT_FALSE(Contains(daemon.Process().DebugTexts(), kSecondInstanceText));

    HWND window = daemon.MainWindow();
    EXPECT_TRUE(TrayIconExists(window, kTrayIconId)) << "the shell knows no icon 134 of the main window";
    EXPECT_FALSE(TrayIconExists(window, kTrayIconId + 1)) << "the shell answers for any icon id";
    EXPECT_FALSE(::IsWindowVisible(window)) << "the main window is visible";
    LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW) << "extended style " << std::hex << exStyle;
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW) << "extended style " << std::hex << exStyle;

    struct Button {
        int id;
        const wchar_t* text;
    };
    for (const Button& button : {Button{IDOK, L"开启"}, Button{IDCANCEL, L"退出"}}) {
        HWND control = ::GetDlgItem(window, button.id);
        ASSERT_NE(control, nullptr) << "no button " << button.id;
        EXPECT_EQ(WindowText(control), button.text) << "button " << button.id;
        EXPECT_FALSE(::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) << "button " << button.id << " is visible";
    }

    // The listener opens the ports on its own thread; give it time.
    std::string greeting;
    EXPECT_TRUE(WaitFor(15000, [&] { return EndsWith(greeting = CommandPortGreeting(), kVersionTail); }))
        << "port 19723: " << greeting;
    EXPECT_EQ(PolicyReply().substr(0, 21), "<cross-domain-policy>") << "port 19722";

    DWORD exitCode = 1;
    ASSERT_TRUE(daemon.ExitFromTrayMenu(&exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(ShellDaemonTest, SecondCopyStartsNoServiceButItsExitStopsTheFirstCopysExecutables) {
    RunningDaemon first;
    ASSERT_TRUE(first.Start(m_directory)) << first.Failure();
    ASSERT_TRUE(first.Process().WaitForDebugText(kFirstInstanceText, 10000));
    std::string greeting;
    int probes = 0;
    ASSERT_TRUE(WaitFor(15000, [&] {
        ++probes;
        return EndsWith(greeting = CommandPortGreeting(), kVersionTail);
    })) << "port 19723 of the first copy: " << greeting;
    // Let each probe's session end before the executables start: on a busy
    // machine an end can come late, and it must not be taken for theirs.
    ASSERT_TRUE(WaitFor(10000, [&] {
        std::vector<std::wstring> texts = first.Process().DebugTexts();
        return std::count(texts.begin(), texts.end(), std::wstring(L"recv break!  \u9000\u51fa\u5faa\u73af")) >= probes;
    })) << "the probe sessions did not end";

    // A client makes the first copy start the bridge and the encoder; the
    // connection stays open, since its end would stop them itself.
    UniqueSocket client = ConnectLoopback(kCommandPort);
    ASSERT_TRUE(client);
    std::string reply;
    ASSERT_TRUE(ReceiveMessage(client.get(), &reply)) << "no greeting";
    const std::string preview = "preview videoDevice=\"cam\" audioDevice=\"mic\"\r\n";
    ASSERT_TRUE(SendBytes(client.get(), preview + std::string(1, '\0')));
    ASSERT_TRUE(ReceiveMessage(client.get(), &reply));
    ASSERT_EQ(reply, "preview ok\r\n");
    const std::string start =
        "start videoDevice=\"cam\" audioDevice=\"mic\" streamUrl=\"rtmp://127.0.0.1/live/shell\" pushLevel=\"1\"\r\n";
    ASSERT_TRUE(SendBytes(client.get(), start + std::string(1, '\0')));
    ASSERT_TRUE(ReceiveMessage(client.get(), &reply));
    ASSERT_EQ(reply, "start ok\r\n");
    std::vector<UniqueHandle> encoders = OpenProcessesNamed(L"QvShow.exe");
    std::vector<UniqueHandle> bridges = OpenProcessesNamed(L"QvGraph.exe");
    ASSERT_EQ(encoders.size(), 1u) << "the first copy started no encoder";
    ASSERT_EQ(bridges.size(), 1u) << "the first copy started no bridge";

    RunningDaemon second;
    ASSERT_TRUE(second.Start(m_directory)) << second.Failure();
    ASSERT_TRUE(second.Process().WaitForDebugText(kSecondInstanceText, 10000))
        << "debug texts: " << ToUtf8Texts(second.Process().DebugTexts());
    EXPECT_FALSE(Contains(second.Process().DebugTexts(), kFirstInstanceText));
    EXPECT_TRUE(TrayIconExists(second.MainWindow(), kTrayIconId)) << "the second copy shows no icon";
    EXPECT_TRUE(TrayIconExists(first.MainWindow(), kTrayIconId)) << "the first copy's icon went";
    EXPECT_FALSE(::IsWindowVisible(second.MainWindow()));

    DWORD exitCode = 1;
    ASSERT_TRUE(second.ExitFromTrayMenu(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(::WaitForSingleObject(encoders[0].get(), 10000), WAIT_OBJECT_0)
        << "the first copy's encoder survived the second copy's exit";
    EXPECT_EQ(::WaitForSingleObject(bridges[0].get(), 10000), WAIT_OBJECT_0)
        << "the first copy's bridge survived the second copy's exit";
    std::vector<std::wstring> texts = second.Process().DebugTexts();
    int encoderStopped = IndexOf(texts, kEncoderStoppedText);
    int bridgeStopped = IndexOf(texts, kBridgeStoppedText);
    EXPECT_GE(encoderStopped, 0) << ToUtf8Texts(texts);
    EXPECT_GT(bridgeStopped, encoderStopped) << "the encoder is stopped first: " << ToUtf8Texts(texts);

    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(TrayIconExists(first.MainWindow(), kTrayIconId)) << "the second copy's exit took the first's icon";
    EXPECT_TRUE(EndsWith(greeting = CommandPortGreeting(), kVersionTail)) << "first copy after the exit: " << greeting;
    client.reset();
}

TEST_F(ShellDaemonTest, SecondCopyOpensNoPortsOfItsOwn) {
    auto first = std::make_unique<RunningDaemon>();
    ASSERT_TRUE(first->Start(m_directory)) << first->Failure();
    ASSERT_TRUE(first->Process().WaitForDebugText(kFirstInstanceText, 10000));
    std::string greeting;
    ASSERT_TRUE(WaitFor(15000, [&] { return EndsWith(greeting = CommandPortGreeting(), kVersionTail); })) << greeting;

    RunningDaemon second;
    ASSERT_TRUE(second.Start(m_directory)) << second.Failure();
    ASSERT_TRUE(second.Process().WaitForDebugText(kSecondInstanceText, 10000));
    DWORD exitCode = 1;
    ASSERT_TRUE(first->ExitFromTrayMenu(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    first.reset();

    // With the first copy gone, nothing serves the ports: the second copy
    // never opened them.
    EXPECT_EQ(CommandPortGreeting(), "<refused>");
    EXPECT_EQ(PolicyReply(), "<refused>");
    EXPECT_TRUE(second.Running());
    EXPECT_TRUE(TrayIconExists(second.MainWindow(), kTrayIconId));
}

TEST_F(ShellDaemonTest, MutexThatCannotBeCreatedLeavesATrayIconWithoutServices) {
    // An object of another type under the mutex's name makes CreateMutexW fail.
    UniqueHandle squatter(::CreateEventW(nullptr, TRUE, FALSE, kMutexName));
    ASSERT_TRUE(squatter);
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    ASSERT_TRUE(daemon.Process().WaitForDebugText(kMutexFailedText, 10000))
        << "debug texts: " << ToUtf8Texts(daemon.Process().DebugTexts());
    auto texts = daemon.Process().DebugTexts();
    EXPECT_FALSE(Contains(texts, kFirstInstanceText));
    EXPECT_FALSE(Contains(texts, kSecondInstanceText));
    EXPECT_TRUE(TrayIconExists(daemon.MainWindow(), kTrayIconId));
    EXPECT_FALSE(::IsWindowVisible(daemon.MainWindow()));
    EXPECT_EQ(CommandPortGreeting(), "<refused>");
    DWORD exitCode = 1;
    ASSERT_TRUE(daemon.ExitFromTrayMenu(&exitCode));
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
