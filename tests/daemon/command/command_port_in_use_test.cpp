// Port 19723 taken by another program: the listener tells the user in a
// message box, serves neither port, and its shutdown runs once the box is
// dismissed.
#include "common/unique_handle.h"
#include "daemon/command/unique_socket.h"
#include "tests/daemon/command/outside_processes.h"
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

const uint16_t kCommandPort = 19723;
const uint16_t kPolicyPort = 19722;

struct BoxSearch {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    if (owner == search->processId && std::wstring(className) == L"#32770" && ::IsWindowVisible(window) &&
        std::wstring(caption) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible message box of that process with exactly this caption.
HWND MessageBoxOf(DWORD processId, const wchar_t* caption) {
    BoxSearch search = {processId, caption, nullptr};
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ChildTexts {
    std::vector<std::wstring> statics;
    HWND okButton = nullptr;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
    auto* texts = reinterpret_cast<ChildTexts*>(parameter);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (std::wstring(className) == L"Static" && text[0]) texts->statics.push_back(text);
    if (std::wstring(className) == L"Button" && ::GetDlgCtrlID(window) == IDOK) texts->okButton = window;
    return TRUE;
}

bool ListensOn(uint16_t port) {
    WireClient client;
    return client.Connect(port, 2000);
}

TEST(CommandPortInUse, BindFailureIsShownAndNeitherPortIsServed) {
    StartWinsock();
    UniqueSocket blocker(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    ASSERT_TRUE(blocker);
    // Not handed down to the host, which would keep the port after we let go.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(blocker.get()), HANDLE_FLAG_INHERIT, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(kCommandPort);
    address.sin_addr.s_addr = ::htonl(INADDR_ANY);
    ASSERT_EQ(::bind(blocker.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(blocker.get(), 5), 0);

    ServiceSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    ASSERT_TRUE(sandbox.Start(false));
    const DWORD host = sandbox.Host().ProcessId();

    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(host, L"Bind fail!\n")) != nullptr; }, 20000))
        << sandbox.Host().Output();
    // The shutdown that follows the failure stops the executables. Started
    // only now: the service's start ends what an earlier daemon of its folder left.
    ASSERT_TRUE(sandbox.StartStandIn(kEncoder));
    ASSERT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 1; }, 10000));
    ChildTexts texts;
    ::EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(std::find(texts.statics.begin(), texts.statics.end(), L"ASFA"), texts.statics.end());
    EXPECT_TRUE(sandbox.Host().WaitForOutput("Bind fail!\n", 5000));
    EXPECT_EQ(sandbox.Host().Output().find("listening"), std::string::npos) << sandbox.Host().Output();

    // The box holds up the listener: no policy server yet, no shutdown yet.
    EXPECT_FALSE(ListensOn(kPolicyPort));
    EXPECT_EQ(CountProcesses(kEncoder), 1);

    ASSERT_NE(texts.okButton, nullptr);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(texts.okButton));
    EXPECT_TRUE(WaitUntil([&] { return MessageBoxOf(host, L"Bind fail!\n") == nullptr; }, 10000));
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 0; }, 10000));

    // The listener has ended and the policy server was never started; the
    // process itself goes on.
    blocker.reset();
    EXPECT_FALSE(ListensOn(kCommandPort));
    EXPECT_FALSE(ListensOn(kPolicyPort));
    EXPECT_TRUE(sandbox.HostRunning());
}

}  // namespace
