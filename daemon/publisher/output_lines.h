#pragma once
// Lines out of the console output of the encoder and the bridge. FFmpeg ends
// its progress line with a carriage return and rewrites it in place, so a
// line ends at CR or LF; a chunk of the pipe may end inside a line.
#include <functional>
#include <string>

class COutputLines {
public:
    // Calls onLine for every complete, non-empty line in the chunk.
    void Take(const char* bytes, size_t count, const std::function<void(const std::string&)>& onLine);

private:
    std::string m_partial;
};

// FFmpeg's "frame=  120 fps= 10 q=28.0 size= 256kB time=00:00:12.00
// bitrate= 170.5kbits/s dup=0 drop=3 speed=1.00x".
struct ProgressLine {
    long long frames = 0;
    double fps = 0;
    double kbps = 0;
    long long dropped = 0;
};
bool ParseProgressLine(const std::string& line, ProgressLine& progress);

// A line that tells why nothing goes out: FFmpeg's errors ("Connection
// refused", "Error opening output ...") and QvShow.exe's own refusals. Not
// FFmpeg's closing words ("Conversion failed!"), which only say that an
// error came before.
bool IsErrorLine(const std::string& line);

// The bridge's "QvGraph: delivering YUY2 1280x720 30 fps" (or, from older
// bridges, "QvGraph: delivering "NAME" (YUY2 1280x720 at 30 fps) into ...")
// gives the webcam's chosen format, "YUY2 1280x720 30 fps".
bool ParseDeliveringLine(const std::string& line, std::string& format);

// QvShow.exe's "QvShow: video encoder h264_nvenc" names the H.264 encoder it
// chose for the HD levels.
bool ParseEncoderLine(const std::string& line, std::string& encoder);

// Bytes of a console line as UTF-8: FFmpeg writes UTF-8, QvShow.exe its
// refusals in the ANSI code page; anything not valid UTF-8 is taken as ANSI.
std::string ConsoleLineToUtf8(const std::string& line);

// UTF-16 text as UTF-8 (device names for the status).
std::string WideToUtf8Text(const std::wstring& text);
