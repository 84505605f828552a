#pragma once
// The push levels, written once for the two programs that must agree on
// them: the daemon writes the encoder's command line from this table, and
// QvShow.exe recognises that line by the same table, refusing any other.
// Plain data, so that either program can be built with Visual Studio too.

struct PushLevelPreset {
    // DirectShow input options in front of "-i"; empty at levels 0 to 3,
    // whose lines the Flash-era pages know byte for byte.
    const char* m_inputOptions;
    // Options between the input and "-f flv", as the daemon writes them
    // (spacing included); "%d" stands for the video bitrate.
    const char* m_encodingOptions;
    int m_videoBitrateKbps;
    // The audio encoder's bitrate, as "-ab" in m_encodingOptions says it.
    int m_audioBitrateKbps;
    int m_width;
    int m_height;
    int m_frameRate;
    // Whether QvShow.exe may put a hardware H.264 encoder in libx264's place
    // (only at the HD levels: the small levels are the old behaviour).
    bool m_hardwareEncoderAllowed;
};

const int kPushLevelCount = 6;
// The level that every value outside the table stands for.
const int kFallbackPushLevel = 3;

// Keyframes every 2 s at the HD levels: 60 frames at 30 fps.
inline const PushLevelPreset kPushLevelPresets[kPushLevelCount] = {
    {"",
     "-r:v 10 -s:v  640*480 -b:v %dk -c:v libx264 -tune zerolatency -x264-params keyint=10:keyint_min=6 "
     "-pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k",
     300, 32, 640, 480, 10, false},
    {"",
     "-r:v 8 -s:v  480*360 -b:v %dk -c:v libx264 -tune zerolatency -x264-params keyint=10:keyint_min=6 "
     "-pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k",
     100, 32, 480, 360, 8, false},
    {"",
     "-r:v 7 -s:v  320*240 -b:v %dk -c:v libx264 -x264-params keyint=14:keyint_min=7 "
     "-pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 16k",
     40, 16, 320, 240, 7, false},
    {"",
     "-r:v 7 -s:v  480*360 -b:v %dk -c:v libx264 -tune zerolatency -x264-params keyint=20:keyint_min=20 "
     "-pix_fmt yuv420p -c:a libaacplus -ar 44100 -ab 32k",
     30, 32, 480, 360, 7, false},
    {"-video_size 1280x720 -pixel_format nv12 -framerate 30",
     "-r:v 30 -s:v 1280x720 -b:v %dk -c:v libx264 -preset veryfast -tune zerolatency -g 60 -keyint_min 60 "
     "-pix_fmt yuv420p -c:a aac -ar 48000 -ab 128k",
     2500, 128, 1280, 720, 30, true},
    {"-video_size 1920x1080 -pixel_format nv12 -framerate 30",
     "-r:v 30 -s:v 1920x1080 -b:v %dk -c:v libx264 -preset veryfast -tune zerolatency -g 60 -keyint_min 60 "
     "-pix_fmt yuv420p -c:a aac -ar 48000 -ab 128k",
     4500, 128, 1920, 1080, 30, true},
};
