#include "daemon/command/command_session.h"

#include "common/non_copyable.h"
#include "daemon/command/command_reply.h"
#include "daemon/command/dispatch_command.h"
#include "daemon/command/parse_command.h"
#include "daemon/command/push_level_announcement.h"
#include "daemon/devices/shared_audio_device_listing.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <atomic>
#include <mutex>

namespace {

// "解析成功:strcmd=%s,videoDevice=%s,audioDevice=%s\r\n" in code page 936.
const char kParsedFormat[] = "\xBD\xE2\xCE\xF6\xB3\xC9\xB9\xA6:strcmd=%s,videoDevice=%s,audioDevice=%s\r\n";
// "recv break!  退出循环" in code page 936.
const char kSessionEndDebugText[] = "recv break!  \xCD\xCB\xB3\xF6\xD1\xAD\xBB\xB7";

// The session whose command was dispatched last owns what runs. An earlier
// client's end can be handled after the next client's "start" has arrived
// (a page reloaded at once; seen under Wine), and must not end that publish.
// The lock puts every dispatch and every end's stops in one order.
std::mutex& CommandOrder() {
    static std::mutex order;
    return order;
}
unsigned long long g_commandingSession = 0;
std::atomic<unsigned long long> g_nextSessionId{1};

class Session : private CNonCopyable {
public:
    explicit Session(SessionTransport& transport) : m_transport(transport), m_id(g_nextSessionId++) {}
    // Whatever ended the loop, even an exception.
    ~Session() { End(); }

    void Run() {
        if (!m_transport.OpenForGreeting() || !Greet()) return;
        m_greeted = true;
        m_transport.AfterGreeting();
        for (;;) {
            std::wstring line;
            switch (m_transport.Receive(line)) {
            case Arrival::Silence:
                if (!AnnouncePushLevel(m_transport)) return;
                break;
            case Arrival::Gone:
                return;
            case Arrival::Foreign:
                m_greeted = false;
                return;
            case Arrival::Line:
                if (m_transport.HandleOwnLine(line)) break;
                RecvCmd cmd;
                if (!ParseCommandLine(line, cmd, m_transport.VideoDeviceUnits())) {
                    m_transport.Rejected();
                    break;
                }
                // A reply that did not go out: the client is gone or stopped reading.
                if (!Carry(cmd)) return;
                break;
            }
        }
    }

private:
    bool Greet() {
        ThePublishState().lastAnnouncedLevel.store(-1);
        if (m_transport.SendGreeting(TheAudioDeviceListing().Names())) return true;
        PrintText("send Error!\n");
        DebugText(std::string("snd error!"));
        return false;
    }

    bool Carry(const RecvCmd& cmd) {
        PrintFormat(kParsedFormat, WideToNarrow(cmd.m_strCmd).c_str(), WideToNarrow(cmd.m_videoDevice).c_str(),
                    WideToNarrow(cmd.m_audioDevice).c_str());
        {
            std::lock_guard<std::mutex> ordered(CommandOrder());
            g_commandingSession = m_id;
            DispatchCommand(cmd);
        }
        const char* reply = CommandReply(cmd.m_strCmd);
        const bool sent = m_transport.SendText(reply);
        if (!sent) PrintFormat("send data Error! data: %s\n", reply);
        PrintFormat("send to client data:%s", reply);
        return sent;
    }

    void End() noexcept {
        try {
            m_transport.Close();
        } catch (...) {
        }
        try {
            std::lock_guard<std::mutex> ordered(CommandOrder());
            if (g_commandingSession == m_id) {
                g_commandingSession = 0;
                StopEncoderAndBridge();
            }
        } catch (...) {
            // Out of memory at worst while stopping; nothing may leave the thread.
        }
        // Said by sessions of command clients that reached their receive loop.
        if (m_greeted) DebugText(std::string(kSessionEndDebugText));
    }

    SessionTransport& m_transport;
    const unsigned long long m_id;
    bool m_greeted = false;
};

}  // namespace

void RunCommandSession(SessionTransport& transport) {
    try {
        Session(transport).Run();
    } catch (...) {
        // The session's end has run in its destructor.
    }
}
