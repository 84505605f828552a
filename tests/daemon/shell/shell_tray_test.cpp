// QvPushServer.exe under Wine with a display: the tray callback, the popup
// menu with its one item, the exit sequence, and the icon coming back after
// the taskbar has been re-created.
#include "tests/daemon/shell/screenshot.h"
#include "tests/daemon/shell/shell_test_fixture.h"

namespace {

TEST_F(ShellDaemonTest, TrayCallbackOpensMenuOnlyOnRightButtonReleaseOfItsIcon) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    struct Case {
        WPARAM iconId;
        LPARAM mouseMessage;
        LRESULT result;
    };
    const Case cases[] = {
        {kTrayIconId, WM_LBUTTONDOWN, 0}, {kTrayIconId, WM_LBUTTONUP, 0}, {kTrayIconId, WM_LBUTTONDBLCLK, 0},
        {kTrayIconId, WM_RBUTTONDOWN, 0}, {kTrayIconId, WM_MOUSEMOVE, 0}, {kTrayIconId, WM_RBUTTONDBLCLK, 0},
        {135, WM_RBUTTONUP, 1},           {0, WM_RBUTTONUP, 1},            {135, WM_LBUTTONUP, 1},
    };
    for (const Case& c : cases) {
        LRESULT result = -1;
        // A menu would hold the send until it closed, so an answer in time
        // also says that none opened.
        ASSERT_TRUE(SendAndGetResult(daemon.MainWindow(), kTrayCallbackMessage, c.iconId, c.mouseMessage, &result))
            << "icon " << c.iconId << " message 0x" << std::hex << c.mouseMessage << ": no answer";
        EXPECT_EQ(result, c.result) << "icon " << c.iconId << " message 0x" << std::hex << c.mouseMessage;
        EXPECT_EQ(WaitForMenuWindow(daemon.Process().ProcessId(), 0), nullptr)
            << "icon " << c.iconId << " message 0x" << std::hex << c.mouseMessage << " opened a menu";
    }

    // Twice: a menu of a hidden window must also open a second time.
    for (int round = 1; round <= 2; ++round) {
        HWND menuWindow = daemon.OpenTrayMenu();
        ASSERT_NE(menuWindow, nullptr) << "round " << round << ": no visible \"#32768\" window";
        if (round == 1) {
            std::string error;
            EXPECT_TRUE(SaveScreenshot(L"tray_menu.png", &error)) << error;
        }
        // Escape closes the menu without choosing; the daemon stays.
        ::PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitFor(10000, [&] { return !::IsWindow(menuWindow) || !::IsWindowVisible(menuWindow); }))
            << "round " << round << ": Escape did not close the menu";
        EXPECT_TRUE(daemon.Running());
        EXPECT_TRUE(TrayIconExists(daemon.MainWindow(), kTrayIconId));
    }
    // The menu's host window lives only while the menu is open.
    EXPECT_TRUE(WaitFor(10000, [&] {
        return WindowsOfProcess(daemon.Process().ProcessId(), L"#32770", kMainCaption).size() == 1;
    })) << "the menu's host window outlived the menu";
}

TEST_F(ShellDaemonTest, OpenMenuIsHostedByAHiddenForegroundWindowAndClosesOnAClickElsewhere) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    HWND menuWindow = daemon.OpenTrayMenu();
    ASSERT_NE(menuWindow, nullptr) << "no visible \"#32768\" window";

    // The foreground window is the host: a second dialog of the main
    // window's template, hidden, 0 x 0 at the work area's bottom right.
    HWND host = ::GetForegroundWindow();
    DWORD owner = 0;
    ::GetWindowThreadProcessId(host, &owner);
    EXPECT_EQ(owner, daemon.Process().ProcessId()) << "the foreground window is not the daemon's";
    EXPECT_NE(host, daemon.MainWindow()) << "the main window itself hosts the menu";
    wchar_t className[64] = {};
    ::GetClassNameW(host, className, ARRAYSIZE(className));
    EXPECT_STREQ(className, L"#32770");
    EXPECT_EQ(WindowText(host), kMainCaption);
    EXPECT_FALSE(::IsWindowVisible(host)) << "the menu's host is visible";
    RECT workArea = {}, hostRect = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    ::GetWindowRect(host, &hostRect);
    EXPECT_EQ(hostRect.left, workArea.right);
    EXPECT_EQ(hostRect.top, workArea.bottom);
    EXPECT_EQ(hostRect.right, workArea.right);
    EXPECT_EQ(hostRect.bottom, workArea.bottom);

    // A left click far from the menu closes it without choosing anything.
    RECT menuRect = {};
    ::GetWindowRect(menuWindow, &menuRect);
    POINT away = {workArea.left + 10, workArea.bottom - 10};
    ASSERT_FALSE(::PtInRect(&menuRect, away));
    INPUT click[3] = {};
    for (INPUT& input : click) input.type = INPUT_MOUSE;
    click[0].mi.dx = MulDiv(away.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    click[0].mi.dy = MulDiv(away.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    click[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(::SendInput(3, click, sizeof(INPUT)), 3u);
    EXPECT_TRUE(WaitFor(10000, [&] { return !::IsWindow(menuWindow) || !::IsWindowVisible(menuWindow); }))
        << "a click elsewhere left the menu open";
    EXPECT_TRUE(WaitFor(10000, [&] { return !::IsWindow(host); })) << "the menu's host outlived the menu";
    EXPECT_TRUE(daemon.Running());
    EXPECT_TRUE(TrayIconExists(daemon.MainWindow(), kTrayIconId));
}

TEST_F(ShellDaemonTest, ExitFromMenuStopsEncoderAndThenBridgeAndEndsWithCodeZero) {
    // What an earlier daemon of this folder left running ends at the start.
    UniqueHandle leftover = StartExecutable(L"QvShow.exe");
    ASSERT_TRUE(leftover) << "the stand-in did not start";
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    EXPECT_EQ(::WaitForSingleObject(leftover.get(), 10000), WAIT_OBJECT_0) << "a leftover survived the start";
    UniqueHandle encoder = StartExecutable(L"QvShow.exe");
    UniqueHandle bridge = StartExecutable(L"QvGraph.exe");
    ASSERT_TRUE(encoder && bridge) << "the stand-ins did not start";
    HWND window = daemon.MainWindow();
    EXPECT_EQ(::WaitForSingleObject(encoder.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(::WaitForSingleObject(bridge.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    DWORD exitCode = 1;
    ASSERT_TRUE(daemon.ExitFromTrayMenu(&exitCode)) << "the daemon did not end after \"关闭退出\"";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(::WaitForSingleObject(encoder.get(), 10000), WAIT_OBJECT_0) << "QvShow.exe still runs";
    EXPECT_EQ(::WaitForSingleObject(bridge.get(), 10000), WAIT_OBJECT_0) << "QvGraph.exe still runs";
    std::vector<std::wstring> texts = daemon.Process().DebugTexts();
    int encoderStopped = IndexOf(texts, kEncoderStoppedText);
    int bridgeStopped = IndexOf(texts, kBridgeStoppedText);
    EXPECT_GE(encoderStopped, 0) << ToUtf8Texts(texts);
    EXPECT_GT(bridgeStopped, encoderStopped) << "the encoder is stopped first: " << ToUtf8Texts(texts);
    EXPECT_FALSE(TrayIconExists(window, kTrayIconId)) << "the icon outlived the daemon";
}

TEST_F(ShellDaemonTest, ExitWithNothingRunningEndsWithCodeZero) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    DWORD exitCode = 1;
    ASSERT_TRUE(daemon.ExitFromTrayMenu(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    // Nothing was running, so nothing was reported stopped.
    std::vector<std::wstring> texts = daemon.Process().DebugTexts();
    EXPECT_FALSE(Contains(texts, kEncoderStoppedText)) << ToUtf8Texts(texts);
    EXPECT_FALSE(Contains(texts, kBridgeStoppedText)) << ToUtf8Texts(texts);
}

TEST_F(ShellDaemonTest, CancelCommandRunsTheExitSequence) {
    UniqueHandle encoder = StartExecutable(L"QvShow.exe");
    ASSERT_TRUE(encoder);
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    // Escape on the window and the hidden "退出" button send command 2 as well.
    ::PostMessageW(daemon.MainWindow(), WM_COMMAND, IDCANCEL, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(daemon.Process().WaitForExit(30000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(::WaitForSingleObject(encoder.get(), 10000), WAIT_OBJECT_0) << "QvShow.exe still runs";
}

TEST_F(ShellDaemonTest, TaskbarCreatedAddsTheIconAgain) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    HWND window = daemon.MainWindow();
    ASSERT_TRUE(TrayIconExists(window, kTrayIconId));
    // What a restarted shell has: no icon of ours.
    ASSERT_TRUE(DeleteTrayIcon(window, kTrayIconId));
    ASSERT_FALSE(TrayIconExists(window, kTrayIconId));

    // The shell broadcasts the message to every top-level window, hidden ones too.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG,
                          10000, &ignored);
    EXPECT_TRUE(WaitFor(10000, [&] { return TrayIconExists(window, kTrayIconId); }))
        << "the icon was not added again after TaskbarCreated";
    // The exit removes the icon that came back.
    DWORD exitCode = 1;
    ASSERT_TRUE(daemon.ExitFromTrayMenu(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(TrayIconExists(window, kTrayIconId));
}

}  // namespace

