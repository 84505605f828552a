#pragma once
// A TCP client of the daemon's ports, as the Flash runtime is one: connects
// to 127.0.0.1, sends raw bytes, and reads what comes back with a time limit
// on every wait.
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/non_copyable.h"

class WireClient : private CNonCopyable {
public:
    WireClient();
    ~WireClient();
    WireClient(WireClient&& other) noexcept;

    // False when the connection was refused or not made within timeoutMs.
    bool Connect(uint16_t port, DWORD timeoutMs = 5000);
    bool Connected() const { return m_socket != INVALID_SOCKET; }
    // Sends all bytes in one call, so that they travel together.
    bool Send(const std::string& bytes);

    // Reads until `count` bytes have arrived, the peer ended the connection
    // or timeoutMs passed; returns what arrived.
    std::string Read(size_t count, DWORD timeoutMs);
    // One message: the bytes up to and including the next NUL. False (and
    // what arrived so far) when no NUL arrived within timeoutMs.
    bool ReadMessage(std::string& message, DWORD timeoutMs);
    // Everything that arrives within ms.
    std::string ReadFor(DWORD ms);
    // Reads until the peer ends the connection; false when it has not
    // ended it within timeoutMs. What arrived before goes to `rest`.
    bool WaitForEnd(DWORD timeoutMs, std::string* rest = nullptr);
    // True once the peer has ended the connection (orderly or by reset).
    bool Ended() const { return m_ended; }

    // Ends the sending side only; what the peer sends can still be read.
    bool ShutdownSend();
    // Orderly close.
    void Close();
    // Abortive close: linger 0, so the peer sees a reset.
    void Reset();
    // Reset() or Close().
    void End(bool reset) { reset ? Reset() : Close(); }

private:
    // Waits for one receive; false on time-out.
    bool ReceiveSome(DWORD timeoutMs);

    SOCKET m_socket = INVALID_SOCKET;
    std::string m_pending;
    bool m_ended = false;
};

// The two ways a client leaves, for tests that try both.
struct ClientEnding {
    const char* how;
    bool reset;
};
constexpr ClientEnding kClientEndings[] = {{"orderly close", false}, {"reset", true}};

// Winsock for the test program, once.
void StartWinsock();

// Time in milliseconds for measuring waits.
uint64_t NowMs();
