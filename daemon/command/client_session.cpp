#include "daemon/command/client_session.h"

#include "daemon/command/command_session.h"
#include "daemon/command/greeting.h"
#include "daemon/command/foreign_client.h"
#include "daemon/command/parse_command.h"
#include "daemon/text/diagnostics.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string TextOf(const char* bytes, int count) {
    return std::string(bytes, strnlen(bytes, static_cast<size_t>(count)));
}

// Every message on the command port ends with a NUL, the client's own mark.
class CommandPortChannel : public SessionChannel {
public:
    explicit CommandPortChannel(SharedSocket& connection) : m_connection(connection) {}

    bool SendGreeting(const std::vector<std::wstring>& deviceNames) override {
        const std::string cut = CutGreeting(BuildGreetingText(deviceNames));
        DebugText(cut);
        return SendText(cut);
    }

    bool SendText(const std::string& text) override {
        return ::send(m_connection.get(), text.c_str(), static_cast<int>(text.size()) + 1, 0) > 0;
    }

private:
    SharedSocket& m_connection;
};

enum class SessionEnd {
    ClientGone,   // closed, failed, or filled the buffer: the session's end rule applies
    SendFailed,   // an announcement could not be sent: the executables are left running
    NotOurClient  // a browser's request, a TLS handshake: nothing of it may act
};

class Session {
public:
    explicit Session(std::shared_ptr<SharedSocket> connection)
        : m_connection(std::move(connection)), m_channel(*m_connection), m_core(m_channel),
          m_buffer(kReceiveBufferSize, '\0') {}

    void Run() {
        const SessionEnd end = m_core.Greet() ? ReceiveLoop() : SessionEnd::SendFailed;
        // Closed in every case, so that no socket lingers.
        m_connection->Close();
        if (end == SessionEnd::ClientGone) m_core.End();
    }

private:
    SOCKET Socket() { return m_connection->get(); }

    SessionEnd ReceiveLoop() {
        for (;;) {
            // A full buffer without a complete message counts as a closed connection.
            if (m_held >= kReceiveBufferSize) return SessionEnd::ClientGone;
            char* room = &m_buffer[static_cast<size_t>(m_held)];
            int count = ::recv(Socket(), room, kReceiveBufferSize - m_held, 0);
            if (count > 0) {
                PrintLine(TextOf(room, count));
                m_held += count;
                if (!m_firstLineSeen) {
                    switch (JudgeFirstLine(m_buffer.data(), static_cast<size_t>(m_held), kReceiveBufferSize)) {
                    case FirstLineVerdict::Foreign: return SessionEnd::NotOurClient;
                    case FirstLineVerdict::Undecided: continue;
                    case FirstLineVerdict::Ours: m_firstLineSeen = true; break;
                    }
                }
                if (!HandleHeldMessages()) return SessionEnd::ClientGone;
                continue;
            }
            if (count == 0) return SessionEnd::ClientGone;
            const int error = ::WSAGetLastError();
            if (error != WSAEINTR && error != WSAEWOULDBLOCK && error != WSAETIMEDOUT) return SessionEnd::ClientGone;
            if (!m_core.Announce()) return SessionEnd::SendFailed;
        }
    }

    // Accepted commands are handled one after the other; a rejected line
    // sends the session back to receiving, with what follows it still held.
    // False when a reply could not be sent.
    bool HandleHeldMessages() {
        for (;;) {
            PrintLine(TextOf(m_buffer.data(), m_held));
            RecvCmd cmd;
            if (!ParseCommand(m_buffer.data(), m_held, cmd)) return true;
            std::fill(m_buffer.begin() + m_held, m_buffer.end(), '\0');
            if (!m_core.Carry(cmd)) return false;
        }
    }

    std::shared_ptr<SharedSocket> m_connection;
    CommandPortChannel m_channel;
    CommandSession m_core;
    std::vector<char> m_buffer;
    int m_held = 0;
    bool m_firstLineSeen = false;
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
        Session(connection).Run();
    } catch (...) {
        // Out of memory at worst; the client must not be left hanging.
        connection->Close();
    }
    return 0;
}
