#pragma once
// Where QvShow.exe lets FFmpeg send the stream. FFmpeg opens whatever its
// output names: a path writes the user's camera and microphone into a file,
// a UNC path makes Windows offer the user's credentials to another host, and
// a value starting with "-" is taken as an option. Only RTMP servers are
// publish targets.
#include <string>

// True when `target` begins with rtmp:// or rtmps:// (in any case) and
// names something after it.
bool IsStreamTarget(const std::wstring& target);
