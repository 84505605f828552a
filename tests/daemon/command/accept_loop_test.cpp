// The listeners' accept loop on a real loopback listener, with the accept
// call failing on purpose first: the loop logs, pauses and goes on serving,
// and only the listener's own close ends it.
#include "daemon/command/listening_socket.h"

#include "tests/daemon/command/wire_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const char kServed[] = "served\n";

// A real listener on a free loopback port, and the loop serving it on a
// thread of its own. The first `failures` accepts fail as a shortage of
// buffers would.
class FailingAcceptLoop {
public:
    explicit FailingAcceptLoop(int failures) : m_failuresLeft(failures) {
        StartWinsock();
        if (OpenListeningSocket(0, 5, m_listening) != ListenStep::Done) return;
        sockaddr_in bound = {};
        int length = sizeof(bound);
        ::getsockname(m_listening.get(), reinterpret_cast<sockaddr*>(&bound), &length);
        m_port = ::ntohs(bound.sin_port);
        const SOCKET listening = m_listening.get();
        m_thread = std::thread([this, listening] {
            AcceptConnections(
                [this, listening]() -> SOCKET {
                    ++acceptCalls;
                    if (m_failuresLeft > 0) {
                        --m_failuresLeft;
                        ::WSASetLastError(WSAENOBUFS);
                        return INVALID_SOCKET;
                    }
                    return ::accept(listening, nullptr, nullptr);
                },
                [this] { return m_closed.load(); },
                [this](UniqueSocket connection) {
                    ::send(connection.get(), kServed, sizeof(kServed) - 1, 0);
                    ++served;
                });
            returned = true;
        });
    }
    ~FailingAcceptLoop() {
        CloseListener();
        if (m_thread.joinable()) m_thread.join();
    }

    uint16_t port() const { return m_port; }
    void CloseListener() {
        m_closed = true;
        m_listening.reset();
    }

    std::atomic<int> acceptCalls{0};
    std::atomic<int> served{0};
    std::atomic<bool> returned{false};

private:
    std::atomic<int> m_failuresLeft;
    std::atomic<bool> m_closed{false};
    UniqueSocket m_listening;
    uint16_t m_port = 0;
    std::thread m_thread;
};

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const uint64_t end = NowMs() + timeoutMs;
    while (!condition()) {
        if (NowMs() > end) return false;
        ::Sleep(20);
    }
    return true;
}

TEST(AcceptLoop, FailedAcceptsAreOneConnectionsAndTheListenerServesOn) {
    for (int failures : {1, 3, 12}) {
        SCOPED_TRACE(failures);
        FailingAcceptLoop loop(failures);
        ASSERT_NE(loop.port(), 0) << "no loopback listener";
        for (int client = 0; client < 3; ++client) {
            WireClient wire;
            ASSERT_TRUE(wire.Connect(loop.port())) << "client " << client;
            EXPECT_EQ(wire.Read(sizeof(kServed) - 1, 10000), kServed) << "client " << client << " not served";
        }
        EXPECT_EQ(loop.served.load(), 3);
        // Each failure was one call; after the third client the loop may
        // already wait in its next accept.
        EXPECT_GE(loop.acceptCalls.load(), failures + 3);
        EXPECT_LE(loop.acceptCalls.load(), failures + 4);
        EXPECT_FALSE(loop.returned.load()) << "the loop ended on a failure that was not the listener's close";
    }
}

TEST(AcceptLoop, ALastingFailurePausesInsteadOfSpinning) {
    FailingAcceptLoop loop(1000000);
    ASSERT_NE(loop.port(), 0) << "no loopback listener";
    ::Sleep(1000);
    // At a pause of 100 ms per failure a second holds about ten; a loop
    // without the pause makes hundreds of thousands of calls.
    EXPECT_GE(loop.acceptCalls.load(), 1);
    EXPECT_LE(loop.acceptCalls.load(), 30);
    EXPECT_FALSE(loop.returned.load());
}

TEST(AcceptLoop, TheListenersCloseEndsTheLoop) {
    FailingAcceptLoop loop(0);
    ASSERT_NE(loop.port(), 0) << "no loopback listener";
    WireClient wire;
    ASSERT_TRUE(wire.Connect(loop.port()));
    EXPECT_EQ(wire.Read(sizeof(kServed) - 1, 10000), kServed);
    loop.CloseListener();
    EXPECT_TRUE(WaitFor([&] { return loop.returned.load(); }, 10000)) << "the loop went on after its listener closed";
}

}  // namespace
