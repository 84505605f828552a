#pragma once
// What the FFmpeg beside QvShow.exe can encode, asked from it
// ("ffmpeg -hide_banner -encoders"), so that the daemon's audio encoder is
// kept where it exists and replaced where it does not.
#include <string>

struct EncoderList {
    bool ran = false;           // FFmpeg ran and listed its encoders
    bool hasLibaacplus = false;
    std::wstring problem;       // why not, when it did not
};

EncoderList ListEncoders(const std::wstring& ffmpegPath);
