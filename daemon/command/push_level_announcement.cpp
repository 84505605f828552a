#include "daemon/command/push_level_announcement.h"

#include "daemon/text/diagnostics.h"

#include <string>

namespace {

const char* const kPushLevelWords[] = {
    "\xB3\xAC\xC7\xE5",  // 超清
    "\xB8\xDF\xC7\xE5",  // 高清
    "\xB1\xEA\xC7\xE5",  // 标清
    "\xBC\xAB\xCB\xD9",  // 极速
    "720P",
    "1080P",
};

// "推流模式通知: " in code page 936.
const char kAnnouncementDebugText[] = "\xCD\xC6\xC1\xF7\xC4\xA3\xCA\xBD\xCD\xA8\xD6\xAA: ";

}  // namespace

const char* PushLevelWord(int32_t pushLevel) { return kPushLevelWords[EffectivePushLevel(pushLevel)]; }

bool AnnouncePushLevel(SessionChannel& channel, PublishState& state) {
    if (state.GetPushLevel() == state.lastAnnouncedLevel.load()) return true;
    const int32_t level = state.GetPushLevel();
    state.lastAnnouncedLevel.store(level);
    const char* word = PushLevelWord(level);
    DebugText(std::string(kAnnouncementDebugText) + word);
    if (channel.SendText(std::string(word))) return true;
    PrintText("send Error!\n");
    DebugText(std::string("snd error!"));
    return false;
}
