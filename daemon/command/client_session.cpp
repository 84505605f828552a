#include "daemon/command/client_session.h"

#include "daemon/command/command_session.h"
#include "daemon/command/foreign_client.h"
#include "daemon/command/greeting.h"
#include "daemon/command/parse_command.h"
#include "daemon/command/peer_owner.h"
#include "daemon/command/thread_main_service.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string TextOf(const char* bytes, int count) {
    return std::string(bytes, strnlen(bytes, static_cast<size_t>(count)));
}

// True when the socket has something to read (bytes or its end) within ms.
bool Readable(SOCKET socket, DWORD ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

// The command port: every message ends with a NUL, in the client's own code
// page both ways; lines end with CR LF.
class CommandPortTransport : public SessionTransport {
public:
    explicit CommandPortTransport(std::shared_ptr<SharedSocket> connection)
        : m_connection(std::move(connection)), m_buffer(kReceiveBufferSize, '\0') {}

    // Flash-era clients wait for the greeting and send nothing first; a
    // browser's fetch, image or TLS handshake sends its request at once.
    bool OpenForGreeting() override {
        const ULONGLONG deadline = ::GetTickCount64() + kFirstBytesWindowMs;
        while (!m_firstLineSeen && !m_peerGone) {
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline || !Readable(Socket(), static_cast<DWORD>(deadline - now))) break;
            if (ReceiveSome() && Judge() == FirstLineVerdict::Foreign) return false;
        }
        return true;
    }

    Arrival Receive(std::wstring& line) override {
        for (;;) {
            if (m_firstLineSeen && !m_receiveFirst) {
                PrintLine(TextOf(m_buffer.data(), m_held));
                std::string message;
                if (TakeCommandPortMessage(m_buffer.data(), m_held, message)) {
                    line = NarrowToWide(message);
                    return Arrival::Line;
                }
            }
            m_receiveFirst = false;
            if (m_peerGone) return Arrival::Gone;
            // A full buffer without a complete message counts as a closed connection.
            if (m_held >= kReceiveBufferSize) return Arrival::Gone;
            if (!ReceiveSome()) return m_peerGone ? Arrival::Gone : Arrival::Silence;
            if (!m_firstLineSeen && Judge() == FirstLineVerdict::Foreign) return Arrival::Foreign;
        }
    }

    size_t VideoDeviceUnits() const override { return kCommandPortVideoDeviceUnits; }

    // What follows a rejected line waits for the next receive, as it always has.
    void Rejected() override { m_receiveFirst = true; }

    bool SendGreeting(const std::vector<std::wstring>& deviceNames) override {
        const std::string cut = CutGreeting(BuildGreetingText(deviceNames));
        DebugText(cut);
        return SendText(cut);
    }

    bool SendText(const std::string& text) override { return m_connection->Send(std::string(text.c_str(), text.size() + 1)); }

    void Close() override { m_connection->Close(); }

private:
    static const DWORD kFirstBytesWindowMs = 150;

    SOCKET Socket() { return m_connection->get(); }

    // False on silence or when the client has gone (m_peerGone).
    bool ReceiveSome() {
        char* room = &m_buffer[static_cast<size_t>(m_held)];
        const int count = ::recv(Socket(), room, kReceiveBufferSize - m_held, 0);
        if (count > 0) {
            PrintLine(TextOf(room, count));
            m_held += count;
            return true;
        }
        const int error = count == 0 ? 0 : ::WSAGetLastError();
        if (error != WSAEINTR && error != WSAEWOULDBLOCK && error != WSAETIMEDOUT) m_peerGone = true;
        return false;
    }

    FirstLineVerdict Judge() {
        const FirstLineVerdict verdict =
            JudgeFirstLine(m_buffer.data(), static_cast<size_t>(m_held), kReceiveBufferSize);
        if (verdict == FirstLineVerdict::Ours) m_firstLineSeen = true;
        return verdict;
    }

    std::shared_ptr<SharedSocket> m_connection;
    std::vector<char> m_buffer;
    int m_held = 0;
    bool m_firstLineSeen = false;
    bool m_receiveFirst = false;
    bool m_peerGone = false;
};

}  // namespace

SessionSlots& CommandPortSlots() {
    static SessionSlots slots;
    return slots;
}

struct SessionParameter {
    std::shared_ptr<SharedSocket> connection;
    SessionSlot slot;
};

LPVOID MakeSessionParameter(std::shared_ptr<SharedSocket> connection, SessionSlot slot) {
    return new SessionParameter{std::move(connection), std::move(slot)};
}

void FreeSessionParameter(LPVOID parameter) { delete static_cast<SessionParameter*>(parameter); }

DWORD WINAPI ClientSession(LPVOID parameter) {
    std::unique_ptr<SessionParameter> taken(static_cast<SessionParameter*>(parameter));
    const std::shared_ptr<SharedSocket> connection = taken->connection;
    try {
        // Here rather than on the listener: the check reads the TCP table,
        // which takes tens of milliseconds under Wine, and accepts must not
        // queue behind it.
        if (MayServePeer(connection->get(), kCommandPort)) {
            CommandPortTransport transport(connection);
            RunCommandSession(transport);
        }
    } catch (...) {
        // Out of memory at worst; the client must not be left hanging.
    }
    connection->Close();
    return 0;
}
