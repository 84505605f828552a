#pragma once
// The H.264 encoder of the HD levels: a hardware encoder when this FFmpeg
// has one that works on this machine, libx264 otherwise. Listing is not
// enough: FFmpeg builds list NVENC, Quick Sync and AMF whether or not the
// GPU and its driver are there, so each listed one must encode a short probe.
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

// Tries the hardware encoders that `listed` names, in the order NVENC,
// Quick Sync, AMF, each on one second of the command's picture size and
// bitrate; the first that encodes it without error wins, else libx264.
// Prints one line for each failed probe and one for the choice.
VideoEncoderChoice ChooseVideoEncoder(const std::wstring& ffmpegPath, const EncoderList& listed,
                                      const PublishCommand& command);

// Puts the choice into the command's encoding options (-c:v and what
// belongs to libx264 alone: -preset, -tune, and yuv420p for NV12).
void ApplyVideoEncoder(const VideoEncoderChoice& choice, PublishCommand& command);
