#include "daemon/command/client_session.h"

#include "daemon/command/command_session.h"
#include "daemon/command/greeting.h"
#include "daemon/command/http_request_line.h"
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

    bool SendGreeting(const std::string& greeting) override {
        const std::string cut = CutGreeting(greeting);
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
    ClientGone,   // closed, failed, or filled the buffer: the executables stop
    SendFailed,   // an announcement could not be sent: they are left running
    NotOurClient  // a browser's HTTP request: nothing of it may act
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
                if (FirstLineIsHttp()) return SessionEnd::NotOurClient;
                HandleHeldMessages();
                continue;
            }
            if (count == 0) return SessionEnd::ClientGone;
            const int error = ::WSAGetLastError();
            if (error != WSAEINTR && error != WSAEWOULDBLOCK && error != WSAETIMEDOUT) return SessionEnd::ClientGone;
            if (!m_core.Announce()) return SessionEnd::SendFailed;
        }
    }

    // Looked at until the first line is complete; a command line never
    // holds " HTTP/1." before its CR LF unless a value says so.
    bool FirstLineIsHttp() {
        if (m_firstLineSeen) return false;
        static const char kLineEnd[] = "\r\n";
        const char* begin = m_buffer.data();
        const char* end = begin + m_held;
        m_firstLineSeen = std::search(begin, end, kLineEnd, kLineEnd + 2) != end;
        return BeginsWithHttpRequestLine(m_buffer.data(), static_cast<size_t>(m_held));
    }

    // Accepted commands are handled one after the other; a rejected line
    // sends the session back to receiving, with what follows it still held.
    void HandleHeldMessages() {
        for (;;) {
            PrintLine(TextOf(m_buffer.data(), m_held));
            RecvCmd cmd;
            if (!ParseCommand(m_buffer.data(), m_held, cmd)) return;
            std::fill(m_buffer.begin() + m_held, m_buffer.end(), '\0');
            m_core.Carry(cmd);
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

LPVOID MakeSessionParameter(std::shared_ptr<SharedSocket> connection) {
    return new std::shared_ptr<SharedSocket>(std::move(connection));
}

void FreeSessionParameter(LPVOID parameter) { delete static_cast<std::shared_ptr<SharedSocket>*>(parameter); }

DWORD WINAPI ClientSession(LPVOID parameter) {
    std::shared_ptr<SharedSocket> connection = *static_cast<std::shared_ptr<SharedSocket>*>(parameter);
    FreeSessionParameter(parameter);
    try {
        Session(connection).Run();
    } catch (...) {
        // Out of memory at worst; the client must not be left hanging.
        connection->Close();
    }
    return 0;
}
