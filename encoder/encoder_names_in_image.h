#pragma once
// Whether the FFmpeg beside QvShow.exe plainly lacks libaacplus, read from
// its image files instead of asked by running it: running "ffmpeg
// -encoders" under Wine costs a few hundred milliseconds of every publish
// start, while FFmpeg builds since 3.0 carry no trace of libaacplus at all.
#include <string>

// True only when the names of FFmpeg's encoders are readable in ffmpeg.exe
// (or in the avcodec DLLs beside it, for a shared build) and "libaacplus"
// is nowhere among them. False means "cannot tell": ask FFmpeg itself.
bool ImageShowsNoLibaacplus(const std::wstring& ffmpegPath);
