// Clients of port 19723 against the running service: greeting, replies,
// framing of the received bytes, several clients, and what the end of a
// session or of the listener does to the outside executables.
#include "tests/daemon/command/outside_processes.h"
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/daemon/command/wire_messages.h"

#include <gtest/gtest.h>

namespace {

const uint16_t kCommandPort = 19723;
const uint16_t kPolicyPort = 19722;

const wchar_t kPreviewLine[] = L"preview videoDevice=\"USB 摄像头\" audioDevice=\"麦克风 (USB)\"";
const wchar_t kStartLine[] =
    L"start videoDevice=\"USB 摄像头\" audioDevice=\"麦克风 (USB)\" streamUrl=\"rtmp://127.0.0.1/live/room\" "
    L"pushLevel=\"1\"";

// "recv break!  退出循环": the debug text of a session's end.
const wchar_t kSessionEndText[] = L"recv break!  退出循环";

// True when this program can listen on the port itself.
bool CanListenOn(uint16_t port) {
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

TEST_F(CommandSessionTest, GreetingWithoutWorkingDeviceIsNullAndVersion) {
    WireClient client;
    ASSERT_TRUE(client.Connect(kCommandPort));
    // Nothing but the 11 bytes: the announcement comes only after a quiet 3 s.
    EXPECT_EQ(Printable(client.ReadFor(1500)), Printable(kNoDeviceGreeting));
    EXPECT_TRUE(m_sandbox.Host().WaitForDebugText(L"null$1.0.0", 5000));
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("19723 accept connect\n", 5000));
}

TEST_F(CommandSessionTest, RepliesToTheThreeCommands) {
    WireClient client;
    ConnectGreeted(client);

    ASSERT_TRUE(client.Send(Message(kPreviewLine)));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kPreviewReply));
    EXPECT_EQ(m_sandbox.Starts(kBridge).size(), 1u);

    ASSERT_TRUE(client.Send(Message(kStartLine)));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStartReply));
    EXPECT_EQ(m_sandbox.Starts(kEncoder).size(), 1u);
    EXPECT_EQ(CountProcesses(kEncoder), 1);
    EXPECT_EQ(CountProcesses(kBridge), 1);

    ASSERT_TRUE(client.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    EXPECT_EQ(CountProcesses(kEncoder), 0);
    EXPECT_EQ(CountProcesses(kBridge), 0);

    // What the session prints for an accepted command, in code page 936.
    const std::string output = m_sandbox.Host().Output();
    EXPECT_NE(output.find(Gbk(L"解析成功:strcmd=stop,videoDevice=,audioDevice=\r\n")), std::string::npos);
    EXPECT_NE(output.find(Gbk(L"解析成功:strcmd=preview,videoDevice=USB 摄像头,audioDevice=麦克风 (USB)\r\n")),
              std::string::npos);
    EXPECT_NE(output.find("send to client data:stop ok\r\n"), std::string::npos);
    EXPECT_NE(output.find("send to client data:start ok\r\n"), std::string::npos);
}

TEST_F(CommandSessionTest, TwoCommandsInOneSegmentAreAnsweredInOrder) {
    WireClient client;
    ConnectGreeted(client);
    ASSERT_TRUE(client.Send(Message(kPreviewLine) + Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kPreviewReply));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    // The stop came after the preview: the bridge it started is gone again.
    EXPECT_EQ(m_sandbox.Starts(kBridge).size(), 1u);
    EXPECT_EQ(CountProcesses(kBridge), 0);
}

TEST_F(CommandSessionTest, CommandInTwoSegmentsIsHandledOnceItsLineEndHasArrived) {
    const struct {
        const char* first;
        const char* second;
    } splits[] = {{"st", "op\r\n"}, {"stop", "\r\n"}, {"stop\r", "\n"}};
    WireClient client;
    ConnectGreeted(client);
    for (const auto& split : splits) {
        SCOPED_TRACE(split.first);
        ASSERT_TRUE(client.Send(split.first));
        EXPECT_EQ(Printable(RepliesWithin(client, 700)), "");
        ASSERT_TRUE(client.Send(std::string(split.second) + std::string(1, '\0')));
        EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    }
}

TEST_F(CommandSessionTest, LineEndWithoutItsNulIsTakenAndTheLateNulDropped) {
    WireClient client;
    ConnectGreeted(client);
    ASSERT_TRUE(client.Send("stop\r\n"));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    ASSERT_TRUE(client.Send(std::string(1, '\0')));
    EXPECT_EQ(Printable(RepliesWithin(client, 500)), "");
    ASSERT_TRUE(client.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
}

TEST_F(CommandSessionTest, RejectedLineHoldsBackTheValidOneUntilTheNextBytes) {
    WireClient client;
    ConnectGreeted(client);
    ASSERT_TRUE(client.Send(Message(L"hello") + Message(L"stop")));
    EXPECT_EQ(Printable(RepliesWithin(client, 1500)), "");
    // The next bytes let the held stop through; a start without streamUrl is
    // rejected in turn and holds back the stop behind it.
    ASSERT_TRUE(client.Send(Message(L"start videoDevice=\"v\" audioDevice=\"a\"") + Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    EXPECT_EQ(Printable(RepliesWithin(client, 1500)), "");
    EXPECT_EQ(CountProcesses(kEncoder), 0);
    ASSERT_TRUE(client.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    EXPECT_EQ(Printable(RepliesWithin(client, 500)), "");
}

TEST_F(CommandSessionTest, LongestLineThatFitsTheBufferIsAccepted) {
    WireClient client;
    ConnectGreeted(client);
    // 1021 bytes of line, CR LF and the NUL fill the 1024-byte buffer exactly.
    std::string line = "stop" + std::string(1017, 'x');
    ASSERT_TRUE(client.Send(line + std::string("\r\n\0", 3)));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    ASSERT_TRUE(client.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
}

TEST_F(CommandSessionTest, FullBufferWithoutLineEndEndsTheSession) {
    ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
    ASSERT_TRUE(m_sandbox.StartStandIn(kBridge));
    ASSERT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 1 && CountProcesses(kBridge) == 1; }, 10000));
    WireClient client;
    ConnectGreeted(client);
    ASSERT_TRUE(client.Send(std::string(1023, 'a')));
    EXPECT_EQ(Printable(RepliesWithin(client, 1000)), "");
    EXPECT_FALSE(client.Ended());
    EXPECT_EQ(SessionEnds(), 0);
    ASSERT_TRUE(client.Send("b"));
    std::string rest;
    EXPECT_TRUE(client.WaitForEnd(10000, &rest));
    EXPECT_TRUE(rest.empty() || IsPushLevelWord(rest)) << Printable(rest);
    // As if the client had closed: both executables are stopped.
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 0 && CountProcesses(kBridge) == 0; }, 10000));
    EXPECT_TRUE(m_sandbox.Host().WaitForDebugText(kSessionEndText, 5000));
}

TEST_F(CommandSessionTest, TwoClientsAtOnceAreEachGreetedAndServed) {
    WireClient first, second;
    ConnectGreeted(first);
    ::Sleep(300);
    ConnectGreeted(second);
    // Both sessions started with nothing announced; the first time-out
    // announces the level, and the other session then finds it announced.
    std::string firstBytes = first.ReadFor(4500);
    std::string secondBytes = second.ReadFor(1500);
    EXPECT_EQ(Printable(firstBytes + secondBytes), Printable(kWordLevel0));

    ASSERT_TRUE(second.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(second)), Printable(kStopReply));
    ASSERT_TRUE(first.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(first)), Printable(kStopReply));
    EXPECT_EQ(Printable(first.ReadFor(100)), "");
    EXPECT_EQ(Printable(second.ReadFor(100)), "");
}

TEST_F(CommandSessionTest, ClientLeavingStopsEveryEncoderAndBridge) {
    const struct {
        const char* how;
        bool reset;
    } endings[] = {{"orderly close", false}, {"reset", true}};
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.how);
        const int endsBefore = SessionEnds();
        // Copies elsewhere on the machine count as well: stops go by image name.
        ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
        ASSERT_TRUE(m_sandbox.StartStandIn(kBridge));
        ASSERT_TRUE(m_sandbox.StartStandIn(std::wstring(L"elsewhere\\") + kEncoder));
        ASSERT_TRUE(m_sandbox.StartStandIn(std::wstring(L"elsewhere\\") + kBridge));
        ASSERT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 2 && CountProcesses(kBridge) == 2; }, 10000));
        WireClient client;
        ConnectGreeted(client);
        ::Sleep(300);
        EXPECT_EQ(CountProcesses(kEncoder), 2);
        EXPECT_EQ(CountProcesses(kBridge), 2);
        if (ending.reset) {
            client.Reset();
        } else {
            client.Close();
        }
        EXPECT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 0 && CountProcesses(kBridge) == 0; }, 10000));
        EXPECT_TRUE(WaitUntil([&] { return SessionEnds() == endsBefore + 1; }, 5000));
    }
}

TEST_F(CommandSessionTest, ListenerShutdownEndsTheLatestSessionAndStopsTheExecutables) {
    WireClient earlier, latest;
    ConnectGreeted(earlier);
    ConnectGreeted(latest);
    ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
    ASSERT_TRUE(m_sandbox.StartStandIn(kBridge));
    ASSERT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 1 && CountProcesses(kBridge) == 1; }, 10000));

    ASSERT_TRUE(m_sandbox.StopListening());
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("Accept fail!\n", 10000));
    EXPECT_TRUE(latest.WaitForEnd(10000));
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 0 && CountProcesses(kBridge) == 0; }, 10000));

    // No new client is taken; the policy server and the earlier session go on.
    WireClient refused;
    EXPECT_FALSE(refused.Connect(kCommandPort, 3000));
    WireClient policy;
    ASSERT_TRUE(policy.Connect(kPolicyPort));
    ASSERT_TRUE(policy.Send(std::string("<policy-file-request/>\0", 23)));
    std::string answer;
    EXPECT_TRUE(policy.WaitForEnd(10000, &answer));
    EXPECT_EQ(answer.size(), 92u);
    ASSERT_TRUE(earlier.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(earlier)), Printable(kStopReply));
    EXPECT_TRUE(m_sandbox.HostRunning());
}

TEST_F(CommandSessionTest, SocketsStayWithTheDaemonAndNotWithTheEncoderItStarts) {
    WireClient client;
    ConnectGreeted(client);
    ASSERT_TRUE(client.Send(Message(kStartLine)));
    ASSERT_EQ(Printable(NextReply(client)), Printable(kStartReply));
    ASSERT_EQ(CountProcesses(kEncoder), 1);
    // The daemon goes away while the encoder it started runs on.
    m_sandbox.Host().Terminate();
    ASSERT_EQ(CountProcesses(kEncoder), 1);
    EXPECT_TRUE(client.WaitForEnd(10000));
    EXPECT_TRUE(WaitUntil([] { return CanListenOn(kCommandPort) && CanListenOn(kPolicyPort); }, 10000));
}

}  // namespace
