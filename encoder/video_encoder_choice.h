#pragma once
// The H.264 encoder of the HD levels: a hardware encoder when this FFmpeg
// has one that works on this machine, libx264 otherwise. Listing is not
// enough: FFmpeg builds list NVENC, Quick Sync and AMF whether or not the
// GPU and its driver are there, so each listed one must encode a short probe.
#include "encoder/encoder_choice_memory.h"
#include "encoder/encoder_list.h"
#include "encoder/publish_command.h"

#include <string>
#include <vector>

// Whether the command's level chooses its encoder (the HD levels); the
// others publish with libx264 as the daemon wrote.
bool ChoosesVideoEncoder(const PublishCommand& command);

struct VideoEncoderChoice {
    std::wstring name;                  // FFmpeg's encoder name
    std::vector<std::wstring> options;  // its low-latency options, in libx264's -preset/-tune place
    bool hardware = false;
};

// Tries the hardware encoders that `listed` names and `memory` has not
// dropped, in the order NVENC, Quick Sync, AMF, each on one second of the
// command's picture size and bitrate; the first that encodes it without
// error wins, else libx264. Prints one line for each failed probe and one
// for the choice.
VideoEncoderChoice ChooseVideoEncoder(const std::wstring& ffmpegPath, const EncoderList& listed,
                                      const PublishCommand& command, const CEncoderChoiceMemory& memory);

// The choice of that name as probed before; libx264 for any other name.
VideoEncoderChoice RememberedVideoEncoder(const std::wstring& name);
// Whether `name` is one of the encoders this program may choose (a memory
// edited by hand names no other).
bool IsKnownVideoEncoder(const std::wstring& name);

// Puts the choice into the command's encoding options: -c:v and what
// belongs to libx264 alone (-preset, -tune, and yuv420p for NV12), and what
// RTMP ingests expect of every encoder: the rate capped at the level's
// bitrate (-maxrate, -bufsize twice it, constant-rate modes), a keyframe
// exactly every 2 s, and the pictures' colour (BT.601, limited range).
void ApplyVideoEncoder(const VideoEncoderChoice& choice, PublishCommand& command);
