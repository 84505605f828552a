#include "daemon/web/websocket_session.h"

#include "daemon/command/client_session.h"
#include "daemon/command/command_session.h"
#include "daemon/command/greeting.h"
#include "daemon/command/parse_command.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"
#include "daemon/web/devices_feed.h"
#include "daemon/web/status_feed.h"
#include "daemon/web/utf8_text.h"
#include "daemon/web/websocket_connection.h"

namespace {

// UTF-8 throughout: the greeting's device names as the platform gives them
// (no code page could hold every name), replies and level words re-encoded
// from code page 936 without the command port's line end, which a frame does
// not need.
class WebSocketChannel : public SessionChannel {
public:
    explicit WebSocketChannel(WebSocketConnection& connection) : m_connection(connection) {}

    bool SendGreeting(const std::vector<std::wstring>& deviceNames) override {
        m_greetedMicrophones = deviceNames;
        const std::wstring greeting = BuildWideGreetingText(deviceNames);
        DebugText(greeting);
        return m_connection.SendText(WideToUtf8(greeting));
    }

    bool SendText(const std::string& text) override {
        std::string line = text;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
        return m_connection.SendText(WideToUtf8(NarrowToWide(line)));
    }

    // What the greeting named: the device list repeats it without listing again.
    const std::vector<std::wstring>& GreetedMicrophones() const { return m_greetedMicrophones; }

private:
    WebSocketConnection& m_connection;
    std::vector<std::wstring> m_greetedMicrophones;
};

}  // namespace

void RunWebSocketSession(SharedSocket& connection, std::string received) {
    const DWORD timeout = kSessionReceiveTimeoutMs;
    ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    WebSocketConnection socket(connection.get(), std::move(received));
    WebSocketChannel channel(socket);
    CommandSession session(channel);
    if (!session.Greet()) {
        connection.Close();
        return;
    }
    CDevicesFeed devices(socket, channel.GreetedMicrophones());
    CStatusFeed status(socket);
    for (;;) {
        std::string message;
        switch (socket.ReceiveText(message)) {
        case WebSocketConnection::Received::Silence:
            if (session.Announce()) continue;
            // As on the command port, a failed announcement leaves the executables running.
            connection.Close();
            return;
        case WebSocketConnection::Received::Closed:
            connection.Close();
            session.End();
            return;
        case WebSocketConnection::Received::Message: {
            // The command port's grammar, on the UTF-16 text itself.
            const std::wstring line = Utf8ToWide(message);
            PrintLine(WideToNarrow(line));
            RecvCmd cmd;
            if (!ParseCommandMessage(line, cmd) || session.Carry(cmd)) break;
            // The reply did not go out: the client is gone or stopped reading.
            connection.Close();
            session.End();
            return;
        }
        }
    }
}
