#include "daemon/command/command_session.h"

#include "daemon/command/command_reply.h"
#include "daemon/command/dispatch_command.h"
#include "daemon/command/greeting.h"
#include "daemon/command/push_level_announcement.h"
#include "daemon/devices/shared_audio_device_listing.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

namespace {

// "解析成功:strcmd=%s,videoDevice=%s,audioDevice=%s\r\n" in code page 936.
const char kParsedFormat[] = "\xBD\xE2\xCE\xF6\xB3\xC9\xB9\xA6:strcmd=%s,videoDevice=%s,audioDevice=%s\r\n";
// "recv break!  退出循环" in code page 936.
const char kSessionEndDebugText[] = "recv break!  \xCD\xCB\xB3\xF6\xD1\xAD\xBB\xB7";

}  // namespace

bool CommandSession::Greet() {
    ThePublishState().lastAnnouncedLevel.store(-1);
    if (m_channel.SendGreeting(TheAudioDeviceListing().Names())) return true;
    PrintText("send Error!\n");
    DebugText(std::string("snd error!"));
    return false;
}

bool CommandSession::Carry(const RecvCmd& cmd) {
    PrintFormat(kParsedFormat, WideToNarrow(cmd.m_strCmd).c_str(), WideToNarrow(cmd.m_videoDevice).c_str(),
                WideToNarrow(cmd.m_audioDevice).c_str());
    m_dispatched = true;
    DispatchCommand(cmd);
    const char* reply = CommandReply(cmd.m_strCmd);
    const bool sent = m_channel.SendText(reply);
    if (!sent) PrintFormat("send data Error! data: %s\n", reply);
    PrintFormat("send to client data:%s", reply);
    return sent;
}

bool CommandSession::Announce() { return AnnouncePushLevel(m_channel); }

void CommandSession::End() {
    if (m_dispatched) {
        StopExecutable(kEncoderImageName);
        StopExecutable(kBridgeImageName);
    }
    DebugText(std::string(kSessionEndDebugText));
}
