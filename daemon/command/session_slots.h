#pragma once
// The bound on connections served at once on one port. Every session is a
// thread; without a bound a page that opens connections in a loop makes the
// daemon start threads until it fails for everyone.
#include <winsock2.h>

#include <atomic>

const int kMaxSessionsPerPort = 32;

// No client may stall a session's thread on a send for longer.
const DWORD kSendTimeoutMs = 5000;

class SessionSlots {
public:
    // False when all slots are taken: the connection is then turned away.
    bool TryTake() {
        int taken = m_taken.load();
        while (taken < kMaxSessionsPerPort)
            if (m_taken.compare_exchange_weak(taken, taken + 1)) return true;
        return false;
    }
    void Give() { m_taken.fetch_sub(1); }

private:
    std::atomic<int> m_taken{0};
};

// Gives its slot back when the session ends, however it ends.
class SessionSlot {
public:
    explicit SessionSlot(SessionSlots& slots) : m_slots(&slots) {}
    ~SessionSlot() {
        if (m_slots) m_slots->Give();
    }
    SessionSlot(SessionSlot&& other) noexcept : m_slots(other.m_slots) { other.m_slots = nullptr; }
    SessionSlot(const SessionSlot&) = delete;
    SessionSlot& operator=(const SessionSlot&) = delete;
    SessionSlot& operator=(SessionSlot&&) = delete;

private:
    SessionSlots* m_slots;
};

inline bool SetSendTimeout(SOCKET connection) {
    const DWORD timeout = kSendTimeoutMs;
    return ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                        sizeof(timeout)) == 0;
}
