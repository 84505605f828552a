#include "daemon/command/client_session.h"

#include "daemon/command/command_reply.h"
#include "daemon/command/dispatch_command.h"
#include "daemon/command/greeting.h"
#include "daemon/command/parse_command.h"
#include "daemon/command/push_level_announcement.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// "解析成功:strcmd=%s,videoDevice=%s,audioDevice=%s\r\n" in code page 936.
const char kParsedFormat[] = "\xBD\xE2\xCE\xF6\xB3\xC9\xB9\xA6:strcmd=%s,videoDevice=%s,audioDevice=%s\r\n";
// "recv break!  退出循环" in code page 936.
const char kSessionEndDebugText[] = "recv break!  \xCD\xCB\xB3\xF6\xD1\xAD\xBB\xB7";

std::string TextOf(const char* bytes, int count) {
    return std::string(bytes, strnlen(bytes, static_cast<size_t>(count)));
}

class Session {
public:
    explicit Session(std::shared_ptr<SharedSocket> connection)
        : m_connection(std::move(connection)), m_buffer(kReceiveBufferSize, '\0') {}

    void Run() {
        ThePublishState().lastAnnouncedLevel.store(-1);
        if (!SendGreeting() || !ReceiveLoop()) {
            // A failed send ends the session without stopping the executables;
            // the socket is closed all the same so that it does not linger.
            m_connection->Close();
            return;
        }
        m_connection->Close();
        StopExecutable(kEncoderImageName);
        StopExecutable(kBridgeImageName);
        DebugText(std::string(kSessionEndDebugText));
    }

private:
    SOCKET Socket() { return m_connection->get(); }

    bool SendGreeting() {
        const std::string greeting = BuildGreeting();
        DebugText(greeting);
        if (::send(Socket(), greeting.c_str(), static_cast<int>(greeting.size()) + 1, 0) > 0) return true;
        PrintText("send Error!\n");
        DebugText(std::string("snd error!"));
        return false;
    }

    // False when an announcement could not be sent; true when the client
    // went away, the receive failed or the buffer filled up.
    bool ReceiveLoop() {
        for (;;) {
            // A full buffer without a complete message counts as a closed connection.
            if (m_held >= kReceiveBufferSize) return true;
            char* room = &m_buffer[static_cast<size_t>(m_held)];
            int count = ::recv(Socket(), room, kReceiveBufferSize - m_held, 0);
            if (count > 0) {
                PrintLine(TextOf(room, count));
                m_held += count;
                HandleHeldMessages();
                continue;
            }
            if (count == 0) return true;
            const int error = ::WSAGetLastError();
            if (error != WSAEINTR && error != WSAEWOULDBLOCK && error != WSAETIMEDOUT) return true;
            if (!AnnouncePushLevel(Socket())) return false;
        }
    }

    // Accepted commands are handled one after the other; a rejected line
    // sends the session back to receiving, with what follows it still held.
    void HandleHeldMessages() {
        for (;;) {
            PrintLine(TextOf(m_buffer.data(), m_held));
            RecvCmd cmd;
            if (!ParseCommand(m_buffer.data(), m_held, cmd)) return;
            PrintFormat(kParsedFormat, WideToNarrow(cmd.m_strCmd).c_str(), WideToNarrow(cmd.m_videoDevice).c_str(),
                        WideToNarrow(cmd.m_audioDevice).c_str());
            std::fill(m_buffer.begin() + m_held, m_buffer.end(), '\0');
            DispatchCommand(cmd);
            const char* reply = CommandReply(cmd.m_strCmd);
            if (::send(Socket(), reply, static_cast<int>(strlen(reply)) + 1, 0) <= 0)
                PrintFormat("send data Error! data: %s\n", reply);
            PrintFormat("send to client data:%s", reply);
        }
    }

    std::shared_ptr<SharedSocket> m_connection;
    std::vector<char> m_buffer;
    int m_held = 0;
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
