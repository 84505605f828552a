#pragma once
// The command service in its sandbox, and clients of port 19723 greeted by
// it, for the session tests.
#include "tests/daemon/command/outside_processes.h"
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/daemon/command/wire_messages.h"

#include <gtest/gtest.h>

inline constexpr uint16_t kCommandPort = 19723;
inline constexpr uint16_t kPolicyPort = 19722;

inline const wchar_t kPreviewLine[] = L"preview videoDevice=\"USB 摄像头\" audioDevice=\"麦克风 (USB)\"";
inline const wchar_t kStartLine[] =
    L"start videoDevice=\"USB 摄像头\" audioDevice=\"麦克风 (USB)\" streamUrl=\"rtmp://127.0.0.1/live/room\" "
    L"pushLevel=\"1\"";

// "recv break!  退出循环": the debug text of a session's end.
inline const wchar_t kSessionEndText[] = L"recv break!  退出循环";

// True when this program can listen on the port itself.
inline bool CanListenOn(uint16_t port) {
    StartWinsock();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_ANY);
    bool ok = ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 && ::listen(s, 1) == 0;
    ::closesocket(s);
    return ok;
}

class CommandSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sandbox.Ready());
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.Host().Output();
    }

    // Connects and reads the greeting.
    void ConnectGreeted(WireClient& client) {
        ASSERT_TRUE(client.Connect(kCommandPort));
        EXPECT_EQ(Printable(client.Read(kNoDeviceGreeting.size(), 10000)), Printable(kNoDeviceGreeting));
    }

    int SessionEnds() {
        int count = 0;
        for (const std::wstring& text : m_sandbox.Host().DebugTexts())
            if (text == kSessionEndText) ++count;
        return count;
    }

    ServiceSandbox m_sandbox;
};
