// The socket policy on port 19722, as the Flash runtime asks for it: one
// read of at most 199 bytes per connection, one connection at a time.
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/daemon/command/wire_messages.h"

#include <gtest/gtest.h>

namespace {

const uint16_t kPolicyPort = 19722;

const std::string kRequest = "<policy-file-request/>";
const std::string kPolicy(
    "<cross-domain-policy> <allow-access-from domain=\"*\" to-ports=\"*\"  /> </cross-domain-policy>\0", 92);
const std::string kRefusal("request error\r\n\0", 16);

class PolicyServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sandbox.Ready());
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.Host().Output();
    }

    // Sends the bytes on a new connection and returns everything the server
    // sent before it closed the connection.
    std::string Exchange(const std::string& request) {
        WireClient client;
        if (!client.Connect(kPolicyPort)) return "<no connection>";
        if (!client.Send(request)) return "<send failed>";
        std::string answer;
        if (!client.WaitForEnd(10000, &answer)) return "<left open> " + answer;
        return answer;
    }

    ServiceSandbox m_sandbox{false};
};

TEST_F(PolicyServerTest, RequestGetsThePolicyWithItsNul) {
    const struct {
        const char* what;
        std::string request;
    } requests[] = {
        {"with its NUL", kRequest + std::string(1, '\0')},
        {"without a NUL", kRequest},
        {"anything behind the NUL is not compared", kRequest + std::string("\0trailing bytes", 15)},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Printable(Exchange(r.request)), Printable(kPolicy));
    }
    // "843 server recv data：%s\r\n", with the full-width colon of code page 936.
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("843 server recv data\xA3\xBA<policy-file-request/>\r\n", 5000));
    EXPECT_TRUE(m_sandbox.Host().WaitForOutput("accept connect\n", 5000));
}

TEST_F(PolicyServerTest, AnythingElseGetsTheRefusal) {
    const struct {
        const char* what;
        std::string request;
    } requests[] = {
        {"line end behind the request", kRequest + "\r\n"},
        {"blank before the request", " " + kRequest},
        {"other case", "<POLICY-FILE-REQUEST/>"},
        {"first part of the request", "<policy-file-"},
        // Only the first 199 bytes are read, and they hold no NUL.
        {"300 bytes", kRequest + std::string(278, 'x')},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Printable(Exchange(r.request)), Printable(kRefusal));
    }
}

TEST_F(PolicyServerTest, RequestSplitOverTwoSegmentsIsRefusedAfterItsFirstPart) {
    WireClient client;
    ASSERT_TRUE(client.Connect(kPolicyPort));
    ASSERT_TRUE(client.Send(kRequest.substr(0, 10)));
    std::string answer;
    EXPECT_TRUE(client.WaitForEnd(10000, &answer));
    EXPECT_EQ(Printable(answer), Printable(kRefusal));
    // The server still serves the next one.
    EXPECT_EQ(Printable(Exchange(kRequest + std::string(1, '\0'))), Printable(kPolicy));
}

TEST_F(PolicyServerTest, SilentConnectionHoldsUpNobodyAndIsClosedAfterTwoSeconds) {
    WireClient silent, second;
    ASSERT_TRUE(silent.Connect(kPolicyPort));
    const uint64_t connected = NowMs();
    ASSERT_TRUE(second.Connect(kPolicyPort));
    ASSERT_TRUE(second.Send(kRequest + std::string(1, '\0')));
    std::string answer;
    EXPECT_TRUE(second.WaitForEnd(1500, &answer)) << "the second waited for the silent one";
    EXPECT_EQ(Printable(answer), Printable(kPolicy));
    EXPECT_TRUE(silent.WaitForEnd(10000, &answer));
    EXPECT_EQ(Printable(answer), "");
    EXPECT_GE(NowMs() - connected, 1500u) << "closed before its time-out";
}

TEST_F(PolicyServerTest, ConnectionThatSendsNothingGetsNoReply) {
    WireClient silent;
    ASSERT_TRUE(silent.Connect(kPolicyPort));
    ASSERT_TRUE(silent.ShutdownSend());
    std::string answer;
    EXPECT_TRUE(silent.WaitForEnd(10000, &answer));
    EXPECT_EQ(Printable(answer), "");
    EXPECT_EQ(Printable(Exchange(kRequest + std::string(1, '\0'))), Printable(kPolicy));
}

TEST_F(PolicyServerTest, ConnectionGoneBeforeSendingDoesNotHoldUpTheNext) {
    for (const ClientEnding& ending : kClientEndings) {
        SCOPED_TRACE(ending.how);
        WireClient silent;
        ASSERT_TRUE(silent.Connect(kPolicyPort));
        silent.End(ending.reset);
        EXPECT_EQ(Printable(Exchange(kRequest + std::string(1, '\0'))), Printable(kPolicy));
    }
}

}  // namespace
