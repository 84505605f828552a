#pragma once
// FFmpeg's arguments for a publish command, fitted to the FFmpeg at hand.
#include "encoder/publish_command.h"

#include <string>
#include <vector>

// The camera's pictures (921,600 bytes at 640 x 480) arrive faster than a
// starting encoder takes them; FFmpeg's default real-time buffer of about
// 3 MB overflowed at the start of a publish, so the input gets more room.
extern const wchar_t kRealTimeBufferSize[];

// FFmpeg's bound on one blocked read or write of the RTMP connection, in
// microseconds (-rw_timeout; without it a server that accepts the connection
// and never answers holds FFmpeg for good). Longer than QvShow.exe's own
// no-progress limit, which ends such a FFmpeg first and says why; this one
// remains as FFmpeg's own last resort.
extern const wchar_t kIoTimeoutMicroseconds[];

// FFmpeg's TCP send buffer for the RTMP connection, in bytes (-send_buffer_size):
// about half a second of the level's stream (video and audio), at least
// 64 KiB. A frozen server still lets the sockets take data until its own
// receive buffer and our send buffer are full; with the system's
// self-tuning send buffer (up to megabytes) FFmpeg went on counting frames
// for 8 s at 720p, and the no-progress limit came that much later. Half a
// second bounds that, and the stream's own latency with it; since a
// connection carries at most one send buffer per round trip, it still
// carries the level's bitrate at round-trip times up to 0.5 s.
int SendBufferBytes(int pushLevel);

// -nostdin: FFmpeg would otherwise take bytes on its standard input as
// keyboard commands ("q" quits). The daemon's " live=1" after the URL is a
// librtmp form that FFmpeg's own RTMP client drops: -rtmp_live says it.
// `hasLibaacplus`: whether this FFmpeg has that audio encoder; without it
// the native "aac" encoder takes its place at the same rate and bitrate.
std::vector<std::wstring> BuildFfmpegArguments(const PublishCommand& command, bool hasLibaacplus);

// The whole command line: the program's path, then every argument quoted.
std::wstring JoinCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);
