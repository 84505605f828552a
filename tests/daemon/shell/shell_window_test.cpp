// QvPushServer.exe under Wine with a display: the hidden main window's
// messages (close, minimize, Enter, the command that shows it) and the
// about box.
#include "tests/daemon/shell/shell_test_fixture.h"

namespace {

TEST_F(ShellDaemonTest, CloseMinimizeAndEnterKeepTheDaemonRunning) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    HWND window = daemon.MainWindow();
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool hides;
    };
    const Case cases[] = {
        {"WM_CLOSE", WM_CLOSE, 0, true},
        {"close button", WM_SYSCOMMAND, SC_CLOSE, true},
        {"minimize", WM_SYSCOMMAND, SC_MINIMIZE, true},
        {"Enter (command 1)", WM_COMMAND, IDOK, false},
    };
    for (const Case& c : cases) {
        ::PostMessageW(window, WM_COMMAND, kShowWindowCommand, 0);
        ASSERT_TRUE(WaitFor(10000, [&] { return ::IsWindowVisible(window) && !::IsIconic(window); }))
            << c.name << ": command 1125 did not show the window";
        ::PostMessageW(window, c.message, c.wParam, 0);
        if (c.hides) {
            EXPECT_TRUE(WaitFor(10000, [&] { return !::IsWindowVisible(window); })) << c.name << " did not hide";
        } else {
            // A round trip through the window's queue: the command has been handled.
            LRESULT ignored;
            ASSERT_TRUE(SendAndGetResult(window, WM_NULL, 0, 0, &ignored));
            EXPECT_TRUE(::IsWindowVisible(window)) << c.name << " changed the window";
        }
        EXPECT_TRUE(daemon.Running()) << c.name << " ended the daemon";
        EXPECT_TRUE(TrayIconExists(window, kTrayIconId)) << c.name << " removed the icon";
    }
    ::ShowWindow(window, SW_HIDE);
}

TEST_F(ShellDaemonTest, AboutBoxOpensFromTheSystemMenuCommand) {
    RunningDaemon daemon;
    ASSERT_TRUE(daemon.Start(m_directory)) << daemon.Failure();
    DWORD processId = daemon.Process().ProcessId();
    ::PostMessageW(daemon.MainWindow(), WM_SYSCOMMAND, 0x10, 0);
    HWND about = nullptr;
    ASSERT_TRUE(WaitFor(10000, [&] {
        auto found = WindowsOfProcess(processId, L"#32770", L"About QvDaemon");
        about = found.empty() ? nullptr : found[0];
        return about && ::IsWindowVisible(about);
    })) << "no about box";
    std::wstring texts;
    for (HWND child = ::GetWindow(about, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        texts += WindowText(child) + L"|";
    EXPECT_NE(texts.find(L"QvDaemon, Version 1.0|"), std::wstring::npos) << ToUtf8(texts);
    EXPECT_NE(texts.find(L"OK|"), std::wstring::npos) << ToUtf8(texts);
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitFor(10000, [&] { return !::IsWindow(about); })) << "OK did not close the about box";
    EXPECT_TRUE(daemon.Running());
    EXPECT_FALSE(::IsWindowVisible(daemon.MainWindow()));
}

}  // namespace
