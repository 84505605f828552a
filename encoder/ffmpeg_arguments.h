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

// -nostdin: FFmpeg would otherwise take bytes on its standard input as
// keyboard commands ("q" quits). The daemon's " live=1" after the URL is a
// librtmp form that FFmpeg's own RTMP client drops: -rtmp_live says it.
// `hasLibaacplus`: whether this FFmpeg has that audio encoder; without it
// the native "aac" encoder takes its place at the same rate and bitrate.
std::vector<std::wstring> BuildFfmpegArguments(const PublishCommand& command, bool hasLibaacplus);

// The whole command line: the program's path, then every argument quoted.
std::wstring JoinCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);
