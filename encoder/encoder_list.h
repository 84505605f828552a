#pragma once
// What the FFmpeg beside QvShow.exe can encode, asked from it
// ("ffmpeg -hide_banner -encoders"), so that the daemon's audio encoder is
// kept where it exists and replaced where it does not.
#include <string>
#include <vector>

struct EncoderList {
    bool ran = false;           // FFmpeg ran and listed its encoders
    bool hasLibaacplus = false;
    std::vector<std::wstring> names;  // every encoder listed
    std::wstring problem;       // why not, when it did not

    bool Lists(const std::wstring& name) const;
};

EncoderList ListEncoders(const std::wstring& ffmpegPath);
