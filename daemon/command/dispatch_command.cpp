#include "daemon/command/dispatch_command.h"

#include "daemon/publisher/camera_launch.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/publish_state.h"

namespace {

// Never used while the parse refuses a "start" without a stream URL.
const wchar_t kFallbackStreamUrl[] = L"rtmp://127.0.0.1:19991/live/2";

// The supervisor restarts from the publishing state, so it must hold exactly
// what was dispatched last: this is its only writer of a client's values.
void Remember(const RecvCmd& cmd, PublishState& state) {
    state.SetVideoDevice(cmd.m_videoDevice);
    state.SetAudioDevice(cmd.m_audioDevice);
}

}  // namespace

void DispatchCommand(const RecvCmd& cmd) {
    PublishState& state = ThePublishState();
    if (cmd.m_strCmd == L"start") {
        std::wstring streamUrl = cmd.m_streamUrl.empty() ? std::wstring(kFallbackStreamUrl) : cmd.m_streamUrl;
        Remember(cmd, state);
        state.SetStreamUrl(streamUrl);
        if (cmd.m_pushLevelGiven) state.SetPushLevel(cmd.m_pushLevel);
        // Lets the next receive time-out announce the push level again.
        state.lastAnnouncedLevel = -1;
        // The encoder always captures the virtual camera, whatever camera
        // the client named; that one goes to the bridge.
        RunPublish(kVirtualCameraName, cmd.m_audioDevice, streamUrl);
    } else if (cmd.m_strCmd == L"stop") {
        StopEncoderAndBridge();
    } else if (cmd.m_strCmd == L"preview") {
        Remember(cmd, state);
        runCamera(cmd.m_videoDevice, cmd.m_audioDevice);
    }
}
