#pragma once
// Telling a silent client the current push level by name.
#include <cstdint>

#include "daemon/command/session_channel.h"
#include "daemon/publisher/publish_state.h"

// The level's word in code page 936: 超清, 高清, 标清, 极速 (for 3 and every
// value outside 0..5), 720P, 1080P.
const char* PushLevelWord(int32_t pushLevel);

// Sends the word (the channel frames it) when the level differs from the one announced
// last by any session. False only when that send failed.
bool AnnouncePushLevel(SessionChannel& channel, PublishState& state = ThePublishState());
