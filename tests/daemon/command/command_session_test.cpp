// Clients of port 19723 against the running service: greeting, replies and
// the framing of the received bytes.
#include "tests/daemon/command/session_fixture.h"

namespace {

TEST_F(CommandSessionTest, GreetingWithoutWorkingDeviceIsNullAndVersion) {
    WireClient client;
    ASSERT_TRUE(client.Connect(kCommandPort));
    // Nothing but the 11 bytes: the announcement comes only after a quiet 3 s.
    // The listing may take seconds on a loaded machine, so the greeting is
    // awaited by its size and the quiet checked after it.
    EXPECT_EQ(Printable(client.Read(kNoDeviceGreeting.size(), 10000)), Printable(kNoDeviceGreeting));
    EXPECT_EQ(Printable(client.ReadFor(1000)), "");
    EXPECT_TRUE(m_sandbox.Host().WaitForDebugText(L"null$1.0.0", 5000));
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("19723 accept connect\n", 5000));
}

TEST_F(CommandSessionTest, RepliesToTheThreeCommands) {
    WireClient client;
    ConnectGreeted(client);

    // Wine now and then loses a process before it has started (CreateProcess
    // fails with ERROR_INTERNAL_ERROR; the encoder's, once in a CI run of this
    // case): the supervisor starts it again after its first pause of 1 s.
    const auto started = [this](const wchar_t* image) {
        return WaitUntil([this, image] { return !m_sandbox.Starts(image).empty(); }, 5000);
    };
    ASSERT_TRUE(client.Send(Message(kPreviewLine)));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kPreviewReply));
    EXPECT_TRUE(started(kBridge)) << "the bridge never started";
    EXPECT_EQ(m_sandbox.Starts(kBridge).size(), 1u);

    ASSERT_TRUE(client.Send(Message(kStartLine)));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStartReply));
    EXPECT_TRUE(started(kEncoder)) << "the encoder never started";
    EXPECT_EQ(m_sandbox.Starts(kEncoder).size(), 1u);
    EXPECT_EQ(CountProcesses(kEncoder), 1);
    EXPECT_EQ(CountProcesses(kBridge), 1);

    ASSERT_TRUE(client.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(client)), Printable(kStopReply));
    EXPECT_EQ(CountProcesses(kEncoder), 0);
    EXPECT_EQ(CountProcesses(kBridge), 0);

    // What the session prints for an accepted command, in code page 936. The
    // last line is printed after its reply has gone out.
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("send to client data:stop ok\r\n", 5000));
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

}  // namespace
