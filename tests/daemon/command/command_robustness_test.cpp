// Bad input from many clients at once never takes the service down:
// random bytes, overlong lines, NULs, bytes that are not code page 936,
// half-sent lines and abrupt resets on both ports, then a fresh client is
// greeted and served as ever.
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/daemon/command/wire_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

const uint16_t kCommandPort = 19723;
const uint16_t kPolicyPort = 19722;

const std::string kPolicy(
    "<cross-domain-policy> <allow-access-from domain=\"*\" to-ports=\"*\"  /> </cross-domain-policy>\0", 92);

// Pieces that make random input look like commands now and then.
const char* const kPieces[] = {"start", "stop", "previ", "preview ", "videoDevice=", "audioDevice=", "streamUrl=",
                               "pushLevel=", "\"", "\r\n", "\r", "\n", "\0", "\x81", "\xFF\xFE", "\xB3\xAC",
                               "<policy-file-request/>"};

class Garbage {
public:
    explicit Garbage(unsigned seed) : m_random(seed) {}

    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }

    std::string Bytes(size_t count) {
        std::string bytes(count, '\0');
        for (char& c : bytes) c = static_cast<char>(Below(256));
        return bytes;
    }

    std::string CommandLike(size_t pieces) {
        std::string text;
        for (size_t i = 0; i < pieces; ++i) {
            const char* piece = kPieces[Below(sizeof(kPieces) / sizeof(kPieces[0]))];
            text += piece[0] ? std::string(piece) : std::string(1, '\0');
            if (Below(3) == 0) text += Bytes(Below(40));
        }
        return text;
    }

private:
    std::mt19937 m_random;
};

// One misbehaving client; counts what it could check.
void Misbehave(Garbage& garbage, int kind, std::atomic<int>& failures) {
    WireClient client;
    const uint16_t port = kind == 7 ? kPolicyPort : kCommandPort;
    if (!client.Connect(port, 10000)) {
        ++failures;
        return;
    }
    switch (kind) {
    case 0:  // random bytes, then an orderly close
        client.Send(garbage.Bytes(1 + garbage.Below(3000)));
        client.Close();
        break;
    case 1:  // random bytes, then a reset
        client.Send(garbage.Bytes(1 + garbage.Below(3000)));
        client.Reset();
        break;
    case 2:  // an overlong first line: not a command client
        client.Send(std::string(1500 + garbage.Below(1500), 'x'));
        if (!client.WaitForEnd(15000)) ++failures;
        break;
    case 3:  // gone before the greeting
        client.Reset();
        break;
    case 4: {  // NULs behind a line are no line: the session goes on and answers a stop
        std::string greeting;
        if (!client.ReadMessage(greeting, 15000)) ++failures;
        client.Send(Message(L"stop"));
        if (NextReply(client, 20000) != kStopReply) ++failures;
        client.Send(std::string(1024 + garbage.Below(1024), '\0'));
        client.Send(Message(L"stop"));
        if (NextReply(client, 20000) != kStopReply) ++failures;
        client.Close();
        break;
    }
    case 5:  // command-like pieces in several segments
        for (int segment = 0; segment < 4; ++segment) {
            if (!client.Send(garbage.CommandLike(1 + garbage.Below(12)))) break;
            ::Sleep(static_cast<DWORD>(garbage.Below(30)));
        }
        if (garbage.Below(2)) {
            client.Reset();
        } else {
            client.Close();
        }
        break;
    case 6:  // half a line, then gone
        client.Send("start videoDevice=\"cam\" audioDevice=\"mi");
        client.Close();
        break;
    case 7:  // the policy port: anything, or nothing, then gone
        if (garbage.Below(2)) client.Send(garbage.Bytes(1 + garbage.Below(400)));
        client.Reset();
        break;
    }
}

TEST(CommandRobustness, FreshClientIsServedAfterMuchBadInput) {
    ServiceSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    ASSERT_TRUE(sandbox.Start()) << sandbox.Host().Output();

    const int kThreads = 8;
    const int kClientsPerThread = 10;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            Garbage garbage(1000u + static_cast<unsigned>(t));
            for (int i = 0; i < kClientsPerThread; ++i)
                Misbehave(garbage, static_cast<int>(garbage.Below(8)), failures);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);

    ASSERT_TRUE(sandbox.HostRunning()) << sandbox.Host().Output();
    WireClient fresh;
    ASSERT_TRUE(fresh.Connect(kCommandPort));
    std::string greeting;
    ASSERT_TRUE(fresh.ReadMessage(greeting, 15000));
    EXPECT_EQ(Printable(greeting), Printable(kNoDeviceGreeting));
    ASSERT_TRUE(fresh.Send(Message(L"stop")));
    EXPECT_EQ(Printable(NextReply(fresh, 20000)), Printable(kStopReply));

    WireClient policy;
    ASSERT_TRUE(policy.Connect(kPolicyPort));
    ASSERT_TRUE(policy.Send(std::string("<policy-file-request/>\0", 23)));
    std::string answer;
    EXPECT_TRUE(policy.WaitForEnd(10000, &answer));
    EXPECT_EQ(Printable(answer), Printable(kPolicy));
    EXPECT_TRUE(sandbox.HostRunning());
}

}  // namespace
