#include "daemon/web/websocket_session.h"

#include "daemon/command/client_session.h"
#include "daemon/command/command_session.h"
#include "daemon/command/greeting.h"
#include "daemon/command/parse_command.h"
#include "daemon/picture/picture_watch.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"
#include "daemon/text/utf8_text.h"
#include "daemon/web/devices_feed.h"
#include "daemon/web/status_feed.h"
#include "daemon/web/websocket_connection.h"

#include <memory>

namespace {

// UTF-8 throughout: the greeting's device names as the platform gives them
// (no code page could hold every name), replies and level words re-encoded
// from code page 936 without the command port's line end, which a frame does
// not need. Beside the session, the publisher's status.
class WebSocketTransport : public SessionTransport {
public:
    WebSocketTransport(SharedSocket& connection, std::string received)
        : m_connection(connection), m_socket(connection, std::move(received)) {}
    ~WebSocketTransport() override { Close(); }

    Arrival Receive(std::wstring& line) override {
        std::string message;
        switch (m_socket.ReceiveText(message)) {
        case WebSocketConnection::Received::Silence:
            return Arrival::Silence;
        case WebSocketConnection::Received::Closed:
            return Arrival::Gone;
        case WebSocketConnection::Received::Message:
            break;
        }
        const std::wstring text = Utf8ToWide(message);
        PrintLine(WideToNarrow(text));
        line = FirstLineOfMessage(text);
        return Arrival::Line;
    }

    bool SendGreeting(const std::vector<std::wstring>& deviceNames) override {
        m_greetedMicrophones = deviceNames;
        const std::wstring greeting = BuildWideGreetingText(deviceNames);
        DebugText(greeting);
        return m_socket.SendText(WideToUtf8(greeting));
    }

    bool SendText(const std::string& text) override {
        std::string line = text;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
        return m_socket.SendText(WideToUtf8(NarrowToWide(line)));
    }

    // Messages of this path alone follow the greeting here.
    void AfterGreeting() override {
        // The device list repeats the greeting's microphones without listing again.
        m_devices = std::make_unique<CDevicesFeed>(m_socket, m_greetedMicrophones);
        m_status = std::make_unique<CStatusFeed>(m_socket);
        // Pictures only for a session that asks; the command port has no such request.
        m_pictures = std::make_unique<CPictureWatch>(
            m_connection.get(), [this](const std::string& jpeg) { return m_socket.SendBinary(jpeg); },
            [this](const std::string& notice) { return m_socket.SendText(notice); });
    }

    bool HandleOwnLine(const std::wstring& line) override {
        return m_pictures && m_pictures->TakeRequest(WideToUtf8(line));
    }

    void Close() override {
        // Every feed joined before the close: any may be sending at this moment.
        if (m_pictures) m_pictures->Stop();
        m_pictures.reset();
        m_status.reset();
        m_devices.reset();
        m_connection.Close();
    }

private:
    SharedSocket& m_connection;
    WebSocketConnection m_socket;
    std::vector<std::wstring> m_greetedMicrophones;
    std::unique_ptr<CDevicesFeed> m_devices;
    std::unique_ptr<CStatusFeed> m_status;
    std::unique_ptr<CPictureWatch> m_pictures;
};

}  // namespace

void RunWebSocketSession(SharedSocket& connection, std::string received) {
    const DWORD timeout = kSessionReceiveTimeoutMs;
    ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    WebSocketTransport transport(connection, std::move(received));
    RunCommandSession(transport);
}
