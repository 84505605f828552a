#pragma once
// Reading a published stream back from the RTMP server with Debian's
// ffprobe and ffmpeg (Linux programs, run through RunLinuxCommand): what
// the streams are, decoded pictures as RGB and decoded sound as samples.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct StreamInfo {
    std::string failure;  // empty when ffprobe answered
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
    double frameRate = 0;  // avg_frame_rate, else r_frame_rate
    int sampleRate = 0, channels = 0;
};
StreamInfo ProbeStream(const std::string& url, DWORD timeoutMs = 30000);

// Video frames a second that reach a reader of the live stream, by the wall
// clock of their arrival (what the server passes on as it gets it), over
// `seconds` after the first two (the start of a read may come in a burst).
struct ArrivalRate {
    std::string failure;
    int frames = 0;
    double seconds = 0;
    double rate = 0;
};
ArrivalRate MeasureArrivalRate(const std::string& url, int seconds);

// Pictures as 24-bit RGB, top row first, `width` x `height` each.
struct DecodedVideo {
    std::string failure;
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> frames;
};
DecodedVideo DecodeVideoFrames(const std::string& url, int width, int height, int frames,
                               DWORD timeoutMs = 40000);

struct Rgb {
    double r = 0, g = 0, b = 0;
};
// The mean colour of the centre half (in each direction) of a picture.
Rgb CentreColour(const std::vector<uint8_t>& rgb, int width, int height);
// Whether two colours differ by at most `tolerance` in every channel.
bool NearColour(const Rgb& a, const Rgb& b, double tolerance);
std::string ColourText(const Rgb& c);

// Sound mixed to one channel, 16-bit, at `sampleRate`.
struct DecodedAudio {
    std::string failure;
    int sampleRate = 0;
    std::vector<int16_t> samples;
};
DecodedAudio DecodeAudio(const std::string& url, double seconds, int sampleRate = 44100, DWORD timeoutMs = 40000);

// The frequency (Hz) with the most energy, from a Hann-windowed FFT of the
// longest power-of-two run of samples (at most 65536); 0 for silence.
double StrongestFrequency(const std::vector<int16_t>& samples, int sampleRate);
