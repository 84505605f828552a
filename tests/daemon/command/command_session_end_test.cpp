// How sessions of port 19723 end, and what their end and the end of the
// listener do to the outside executables; two clients at once.
#include "daemon/devices/shared_audio_device_listing.h"
#include "tests/daemon/command/session_fixture.h"
#include "tests/daemon/terminate_processes.h"

namespace {

// What a web page can make a browser send to a loopback port, and bytes of
// no command client at all.
const std::string kTlsClientHello("\x16\x03\x01\x02\x00\x01\x00\x01\xFC\x03\x03", 11);
const struct {
    const char* what;
    std::string bytes;
} kForeignFirstBytes[] = {
    {"image with a 1,100-character path",
     "GET /" + std::string(1100, 'a') + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"},
    {"request line cut before its version", "GET /" + std::string(300, 'a')},
    {"text/plain fetch with command lines", "POST / HTTP/1.1\r\nContent-Type: text/plain\r\n\r\nstop\r\n"},
    {"TLS ClientHello", kTlsClientHello + std::string(600, '\x01')},
    {"first line longer than the buffer", std::string(1500, 'a')},
    {"NUL first", std::string("\0stop\r\n\0", 8)},
};

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A page's fetch() or image sends its request as soon as it connects: judged
// before any greeting, it gets none, and no device listing runs for it.
TEST_F(CommandSessionTest, RequestsSentAtOnceGetNoGreetingAndListNoDevices) {
    const std::string listing = std::string(kListingBeginsText) + "\n";
    for (const auto& foreign : kForeignFirstBytes) {
        SCOPED_TRACE(foreign.what);
        WireClient client;
        ASSERT_TRUE(client.Connect(kCommandPort));
        ASSERT_TRUE(client.Send(foreign.bytes));
        std::string rest;
        EXPECT_TRUE(client.WaitForEnd(5000, &rest)) << "not closed";
        EXPECT_EQ(Printable(rest), "") << "greeted";
    }
    EXPECT_EQ(Count(m_sandbox.Host().Output(), listing), 0u) << m_sandbox.Host().Output();
    // A client that waits for its greeting, as the Flash-era ones do, is greeted after one listing.
    WireClient client;
    ConnectGreeted(client);
    EXPECT_EQ(Count(m_sandbox.Host().Output(), listing), 1u);
}

TEST_F(CommandSessionTest, ConnectionsOfOtherClientsAreClosedAtOnceAndStopNothing) {
    ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
    ASSERT_TRUE(m_sandbox.StartStandIn(kBridge));
    ASSERT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 1 && CountProcesses(kBridge) == 1; }, 10000));
    for (const auto& foreign : kForeignFirstBytes) {
        SCOPED_TRACE(foreign.what);
        WireClient client;
        ConnectGreeted(client);
        ASSERT_TRUE(client.Send(foreign.bytes));
        std::string rest;
        EXPECT_TRUE(client.WaitForEnd(2000, &rest)) << "not closed at once";
        EXPECT_EQ(Printable(rest), "");
    }
    EXPECT_TRUE(HoldsThroughout([] { return CountProcesses(kEncoder) == 1 && CountProcesses(kBridge) == 1; }, 1000));
    EXPECT_EQ(SessionEnds(), 0);
}

TEST_F(CommandSessionTest, OnlyAClientThatGaveACommandStopsEveryEncoderAndBridgeWhenItLeaves) {
    for (const bool gaveCommand : {false, true}) {
        for (const ClientEnding& ending : kClientEndings) {
            SCOPED_TRACE(std::string(ending.how) + (gaveCommand ? ", after a command" : ", greeted only"));
            const int endsBefore = SessionEnds();
            WireClient client;
            ConnectGreeted(client);
            if (gaveCommand) {
                ASSERT_TRUE(client.Send(Message(L"stop")));
                ASSERT_EQ(Printable(NextReply(client)), Printable(kStopReply));
            }
            // Copies of another folder are none of the daemon's: they stay.
            ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
            ASSERT_TRUE(m_sandbox.StartStandIn(kBridge));
            ASSERT_TRUE(m_sandbox.StartStandIn(std::wstring(L"elsewhere\\") + kEncoder));
            ASSERT_TRUE(m_sandbox.StartStandIn(std::wstring(L"elsewhere\\") + kBridge));
            const auto bothRunTwice = [] { return CountProcesses(kEncoder) == 2 && CountProcesses(kBridge) == 2; };
            ASSERT_TRUE(WaitUntil(bothRunTwice, 10000));
            client.End(ending.reset);
            EXPECT_TRUE(WaitUntil([&] { return SessionEnds() == endsBefore + 1; }, 5000));
            if (gaveCommand) {
                const auto onlyTheOthersRun = [] { return CountProcesses(kEncoder) == 1 && CountProcesses(kBridge) == 1; };
                EXPECT_TRUE(WaitUntil(onlyTheOthersRun, 10000));
                EXPECT_TRUE(HoldsThroughout(onlyTheOthersRun, 1000)) << "another folder's copies were stopped";
            } else {
                EXPECT_TRUE(HoldsThroughout(bothRunTwice, 1000))
                    << "a session that only read the greeting stopped the executables";
            }
            TerminateProcessesNamed(kEncoder);
            TerminateProcessesNamed(kBridge);
        }
    }
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
    // Nothing else, no second announcement either, in front of a further
    // reply on either connection.
    for (WireClient* client : {&first, &second}) {
        ASSERT_TRUE(client->Send(Message(L"stop")));
        std::string message;
        EXPECT_TRUE(client->ReadMessage(message, 10000));
        EXPECT_EQ(Printable(message), Printable(kStopReply));
    }
}

// A client whose commands a later client's have replaced (a page reloaded,
// whose old connection's end arrives late) leaves the newer publish alone.
TEST_F(CommandSessionTest, OnlyTheClientThatGaveTheLastCommandStopsTheExecutables) {
    WireClient earlier, later;
    for (WireClient* client : {&earlier, &later}) {
        ConnectGreeted(*client);
        ASSERT_TRUE(client->Send(Message(L"stop")));
        ASSERT_EQ(Printable(NextReply(*client)), Printable(kStopReply));
    }
    ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
    ASSERT_TRUE(m_sandbox.StartStandIn(kBridge));
    const auto bothRun = [] { return CountProcesses(kEncoder) == 1 && CountProcesses(kBridge) == 1; };
    ASSERT_TRUE(WaitUntil(bothRun, 10000));
    const int endsBefore = SessionEnds();
    earlier.End(false);
    EXPECT_TRUE(WaitUntil([&] { return SessionEnds() == endsBefore + 1; }, 5000));
    EXPECT_TRUE(HoldsThroughout(bothRun, 1000)) << "the earlier client's end stopped the later client's executables";
    later.End(false);
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) + CountProcesses(kBridge) == 0; }, 10000));
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

TEST_F(CommandSessionTest, GreetingThatCannotBeSentEndsTheSessionWithoutStoppingTheExecutables) {
    ASSERT_TRUE(m_sandbox.StartStandIn(kEncoder));
    ASSERT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 1; }, 10000));
    {
        // Gone before the device listing is done: the greeting's send fails.
        WireClient client;
        ASSERT_TRUE(client.Connect(kCommandPort));
        client.Reset();
    }
    EXPECT_TRUE(m_sandbox.Host().WaitForDebugText(L"snd error!", 10000));
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("send Error!\n", 5000));
    EXPECT_TRUE(HoldsThroughout([this] { return CountProcesses(kEncoder) == 1 && SessionEnds() == 0; }, 1000));
    // The next client is served as ever, and by then the failed session has
    // long had its chance to stop the encoder.
    WireClient next;
    ConnectGreeted(next);
    EXPECT_EQ(CountProcesses(kEncoder), 1);
    EXPECT_EQ(SessionEnds(), 0);
}

TEST_F(CommandSessionTest, SocketsStayWithTheDaemonAndNotWithTheEncoderItStarts) {
    WireClient client;
    ConnectGreeted(client);
    ASSERT_TRUE(client.Send(Message(kStartLine)));
    ASSERT_EQ(Printable(NextReply(client)), Printable(kStartReply));
    ASSERT_EQ(CountProcesses(kEncoder), 1);
    // The daemon goes away; the encoder it started goes with it, and neither
    // holds the daemon's ports.
    m_sandbox.Host().Terminate();
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kEncoder) == 0; }, 5000)) << "the encoder outlived the daemon";
    EXPECT_TRUE(client.WaitForEnd(10000));
    EXPECT_TRUE(WaitUntil([] { return CanListenOn(kCommandPort) && CanListenOn(kPolicyPort); }, 10000));
}

}  // namespace
