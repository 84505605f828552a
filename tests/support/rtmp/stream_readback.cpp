#include "tests/support/rtmp/stream_readback.h"

#include "tests/support/child_process.h"
#include "tests/support/rtmp/linux_command.h"

#include <cmath>
#include <complex>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

const double kPi = 3.14159265358979323846;

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of this process's scratch directory for a decoder's output.
std::wstring OutputFile(const wchar_t* extension) {
    static int counter = 0;
    return ScratchDirectory(L"readback-") + L"out" + std::to_wstring(++counter) + extension;
}

double ParseRate(const std::string& text) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return atof(text.c_str());
    double den = atof(text.c_str() + slash + 1);
    return den == 0 ? 0 : atof(text.c_str()) / den;
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * kPi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

}  // namespace

StreamInfo ProbeStream(const std::string& url, DWORD timeoutMs) {
    StreamInfo info;
    LinuxCommandResult run = RunLinuxCommand(
        "ffprobe -v error -show_entries "
        "stream=codec_type,codec_name,width,height,avg_frame_rate,r_frame_rate,sample_rate,channels -of default " +
            ShellQuote(url),
        timeoutMs);
    if (run.exitCode != 0) {
        info.failure = "ffprobe " + url + " failed (exit " + std::to_string(run.exitCode) + "): " + run.failure +
                       run.output;
        return info;
    }
    // [STREAM] blocks of key=value lines.
    std::istringstream lines(run.output);
    std::string line, type, codec;
    int width = 0, height = 0, rate = 0, channels = 0;
    double avg = 0, real = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq), value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key == "codec_type") type = value;
        else if (key == "codec_name") codec = value;
        else if (key == "width") width = atoi(value.c_str());
        else if (key == "height") height = atoi(value.c_str());
        else if (key == "avg_frame_rate") avg = ParseRate(value);
        else if (key == "r_frame_rate") real = ParseRate(value);
        else if (key == "sample_rate") rate = atoi(value.c_str());
        else if (key == "channels") channels = atoi(value.c_str());
        else if (line == "[/STREAM]") {
            if (type == "video") {
                info.videoCodec = codec;
                info.width = width;
                info.height = height;
                info.frameRate = avg > 0 ? avg : real;
            } else if (type == "audio") {
                info.audioCodec = codec;
                info.sampleRate = rate;
                info.channels = channels;
            }
            type.clear();
            codec.clear();
            width = height = rate = channels = 0;
            avg = real = 0;
        }
    }
    return info;
}

ArrivalRate MeasureArrivalRate(const std::string& url, int seconds) {
    const int settle = 2;
    // One line a video packet, stamped as it comes out of ffprobe (line
    // buffered, or the stamps would be those of 4 KB blocks).
    const std::string script = "timeout " + std::to_string(seconds + settle) +
                               " stdbuf -oL ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
                               "-of csv=p=0 " + ShellQuote(url) +
                               " 2>/dev/null | bash -c 'while read -r t; do echo $EPOCHREALTIME; done'; true";
    const LinuxCommandResult run = RunLinuxCommand(script, static_cast<DWORD>(seconds + settle + 30) * 1000);
    ArrivalRate result;
    if (!run.finished) {
        result.failure = "ffprobe did not end: " + run.failure;
        return result;
    }
    std::vector<double> stamps;
    std::istringstream lines(run.output);
    for (double stamp; lines >> stamp;) stamps.push_back(stamp);
    if (stamps.size() < 2) {
        result.failure = "no video packets arrived: " + run.output;
        return result;
    }
    const double from = stamps.front() + settle;
    double first = 0;
    for (double stamp : stamps) {
        if (stamp < from) continue;
        if (result.frames++ == 0) first = stamp;
        result.seconds = stamp - first;
    }
    if (result.frames < 2 || result.seconds <= 0) {
        result.failure = "too few video packets after the first " + std::to_string(settle) + " s";
        return result;
    }
    result.rate = (result.frames - 1) / result.seconds;
    return result;
}

DecodedVideo DecodeVideoFrames(const std::string& url, int width, int height, int frames, DWORD timeoutMs) {
    DecodedVideo video;
    video.width = width;
    video.height = height;
    const std::wstring out = OutputFile(L".rgb");
    LinuxCommandResult run = RunLinuxCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(url) +
                                                 " -an -frames:v " + std::to_string(frames) +
                                                 " -s " + std::to_string(width) + "x" + std::to_string(height) +
                                                 " -f rawvideo -pix_fmt rgb24 " + ShellQuote(UnixPath(out)),
                                             timeoutMs);
    const std::string bytes = ReadBytes(out);
    ::DeleteFileW(out.c_str());
    const size_t frameBytes = static_cast<size_t>(width) * height * 3;
    if (run.exitCode != 0 || bytes.size() < frameBytes) {
        video.failure = "ffmpeg decoded " + std::to_string(bytes.size()) + " bytes of " + url + " (exit " +
                        std::to_string(run.exitCode) + "): " + run.failure + run.output;
        return video;
    }
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes)
        video.frames.emplace_back(bytes.begin() + at, bytes.begin() + at + frameBytes);
    return video;
}

Rgb CentreColour(const std::vector<uint8_t>& rgb, int width, int height) {
    Rgb sum;
    double count = 0;
    for (int y = height / 4; y < height * 3 / 4; ++y) {
        for (int x = width / 4; x < width * 3 / 4; ++x) {
            const size_t at = (static_cast<size_t>(y) * width + x) * 3;
            if (at + 2 >= rgb.size()) continue;
            sum.r += rgb[at];
            sum.g += rgb[at + 1];
            sum.b += rgb[at + 2];
            ++count;
        }
    }
    if (count > 0) {
        sum.r /= count;
        sum.g /= count;
        sum.b /= count;
    }
    return sum;
}

bool NearColour(const Rgb& a, const Rgb& b, double tolerance) {
    return std::fabs(a.r - b.r) <= tolerance && std::fabs(a.g - b.g) <= tolerance && std::fabs(a.b - b.b) <= tolerance;
}

std::string ColourText(const Rgb& c) {
    char text[64];
    snprintf(text, sizeof(text), "rgb(%.0f, %.0f, %.0f)", c.r, c.g, c.b);
    return text;
}

DecodedAudio DecodeAudio(const std::string& url, double seconds, int sampleRate, DWORD timeoutMs) {
    DecodedAudio audio;
    audio.sampleRate = sampleRate;
    const std::wstring out = OutputFile(L".pcm");
    LinuxCommandResult run = RunLinuxCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(url) + " -vn -t " +
                                                 std::to_string(seconds) + " -ac 1 -ar " +
                                                 std::to_string(sampleRate) + " -f s16le " +
                                                 ShellQuote(UnixPath(out)),
                                             timeoutMs);
    const std::string bytes = ReadBytes(out);
    ::DeleteFileW(out.c_str());
    if (run.exitCode != 0 || bytes.size() < 2) {
        audio.failure = "ffmpeg decoded no sound from " + url + " (exit " + std::to_string(run.exitCode) + "): " +
                        run.failure + run.output;
        return audio;
    }
    audio.samples.resize(bytes.size() / 2);
    memcpy(audio.samples.data(), bytes.data(), audio.samples.size() * 2);
    return audio;
}

double StrongestFrequency(const std::vector<int16_t>& samples, int sampleRate) {
    size_t n = 1;
    while (n * 2 <= samples.size() && n * 2 <= 65536) n *= 2;
    if (n < 256) return 0;
    // The middle of the recording: its start may hold a decoder's ramp-up.
    const size_t first = (samples.size() - n) / 2;
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / static_cast<double>(n - 1));
        a[i] = samples[first + i] * window;
    }
    Fft(a);
    size_t best = 1;
    for (size_t k = 1; k < n / 2; ++k)
        if (std::abs(a[k]) > std::abs(a[best])) best = k;
    if (std::abs(a[best]) < 1e-6) return 0;
    // Parabolic interpolation between the neighbouring bins.
    const double l = std::abs(a[best - 1]), c = std::abs(a[best]), r = std::abs(a[best + 1]);
    const double shift = (l - 2 * c + r) == 0 ? 0 : 0.5 * (l - r) / (l - 2 * c + r);
    return (static_cast<double>(best) + shift) * sampleRate / static_cast<double>(n);
}
