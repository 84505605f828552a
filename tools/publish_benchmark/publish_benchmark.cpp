// Figures of the publishing chain, printed (not a test): for each push
// level the time from "start" to the first video frame read back from the
// RTMP server, with a breakdown of the steps on the way (QvShow.exe
// started, its encoder probe, FFmpeg started, nginx's publish, the first
// video packet to a copying reader, the first frame a decoding player
// wrote), and the processor time of QvShow.exe and FFmpeg; at level 0 the
// latency from the WriteFrame of a marker picture to the first frame at
// the server that shows it (median and p95 over 20 markers), and the same
// at level 4 (1280x720 from the camera's 640x480 record, scaled). The frames
// are taken by a Debian ffmpeg playing the stream with as little buffering
// as it allows, so each figure includes that player's own delay.
#include "tests/daemon/command/wire_messages.h"
#include "tests/e2e/publish_chain.h"
#include "tests/support/child_process.h"
#include "tests/support/rtmp/linux_command.h"
#include "tests/support/rtmp/stream_readback.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const int kMarkers = 20;
const DWORD kCpuWindowMs = 10000;

struct Level {
    int level, width, height;
};
const Level kLevels[] = {{0, 640, 480}, {1, 480, 360}, {2, 320, 240}, {3, 480, 360}, {4, 1280, 720}, {5, 1920, 1080}};
// The player decodes the HD levels at this width (their aspect kept): a
// marker's colour needs no more, and 1920x1080 RGB at 30 a second would
// write 190 MB a second to disk.
const int kPlayerMaxWidth = 640;

// A Debian ffmpeg reading the stream into a file as it comes, started
// before "start" so that it is waiting on the server when the publish
// begins. Both readers probe as little as the demuxer allows.
class StreamReader {
public:
    std::string Start(const std::string& url, const std::string& outputOptions, const std::wstring& fileName) {
        m_file = ScratchDirectory(L"benchmark-") + fileName;
        ::DeleteFileW(m_file.c_str());
        return m_command.Start("exec ffmpeg -nostdin -v error -fflags nobuffer -flags low_delay -probesize 32 "
                               "-analyzeduration 0 -i " + ShellQuote(url) + " " + outputOptions +
                                   " -flush_packets 1 -y " + ShellQuote(UnixPath(m_file)),
                               300000);
    }
    void Stop() {
        m_command.Stop();
        ::DeleteFileW(m_file.c_str());
    }
    size_t Size() const {
        WIN32_FILE_ATTRIBUTE_DATA data;
        return ::GetFileAttributesExW(m_file.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
    }
    const std::wstring& File() const { return m_file; }

private:
    LinuxCommand m_command;
    std::wstring m_file;
};

// Decoded frames, as raw RGB pictures of the level's size.
class FramePlayer {
public:
    std::string Start(const std::string& url, int width, int height) {
        m_frameBytes = static_cast<size_t>(width) * height * 3;
        m_offset = 0;
        return m_reader.Start(url,
                              "-an -s " + std::to_string(width) + "x" + std::to_string(height) +
                                  " -pix_fmt rgb24 -f rawvideo",
                              L"frames" + std::to_wstring(++m_count) + L".rgb");
    }
    void Stop() { m_reader.Stop(); }
    bool HasFrame() const { return m_reader.Size() >= m_frameBytes; }
    // Whole frames that arrived since the last call.
    std::vector<std::vector<uint8_t>> NewFrames() {
        std::vector<std::vector<uint8_t>> frames;
        std::ifstream in(m_reader.File().c_str(), std::ios::binary);
        in.seekg(0, std::ios::end);
        const size_t size = static_cast<size_t>(std::max<std::streamoff>(0, in.tellg()));
        while (size >= m_offset + m_frameBytes) {
            std::vector<uint8_t> frame(m_frameBytes);
            in.seekg(static_cast<std::streamoff>(m_offset));
            in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(m_frameBytes));
            frames.push_back(std::move(frame));
            m_offset += m_frameBytes;
        }
        return frames;
    }

private:
    StreamReader m_reader;
    size_t m_frameBytes = 0, m_offset = 0;
    int m_count = 0;
};

// Processor time in ms of the chain's QvShow.exe and ffmpeg.exe as Windows
// reports it (GetProcessTimes).
ULONGLONG WindowsCpuMs(const std::wstring& imageName) {
    ULONGLONG total = 0;
    for (DWORD id : ProcessesNamed(imageName)) {
        UniqueHandle p(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        FILETIME created, ended, kernel, user;
        if (p && ::GetProcessTimes(p.get(), &created, &ended, &kernel, &user)) {
            total += ((ULONGLONG(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
                      (ULONGLONG(user.dwHighDateTime) << 32 | user.dwLowDateTime)) / 10000;
        }
    }
    return total;
}

// The same from the Linux side: Wine's GetProcessTimes for another process
// reports a small part of what the process used (about 1.5 % of a core for
// an FFmpeg encoding H.264), while the kernel's utime + stime of the Unix
// process that runs the image is what it really costs. The processes are
// told apart from other Wine prefixes' by the daemon directory in their
// maps (the image's Unix path) or command line (its Windows path).
// Unix pids of the chain's QvShow.exe and ffmpeg.exe, found once (a walk
// over every process's maps takes seconds on a busy machine).
struct LinuxPids {
    std::string show, ffmpeg;  // space-separated
};
LinuxPids FindLinuxPids(const std::wstring& daemonDir) {
    std::wstring windowsDir = daemonDir;
    if (!windowsDir.empty() && windowsDir.back() == L'\\') windowsDir.pop_back();
    std::string unixDir = UnixPath(daemonDir);
    if (!unixDir.empty() && unixDir.back() == '/') unixDir.pop_back();
    const std::string script =
        "UDIR=" + ShellQuote(unixDir) + "\nWDIR=" + ShellQuote(ToUtf8(windowsDir)) +
        "\nfor exe in QvShow.exe ffmpeg.exe; do\n"
        "  for p in /proc/[0-9]*; do\n"
        "    { cat $p/maps; tr '\\0' ' ' <$p/cmdline; } 2>/dev/null | "
        "grep -qiF -e \"$UDIR/$exe\" -e \"$WDIR\\\\$exe\" && printf '%s ' ${p#/proc/}\n"
        "  done\n  echo\ndone\n";
    const LinuxCommandResult result = RunLinuxCommand(script, 60000);
    LinuxPids pids;
    const size_t newline = result.output.find('\n');
    if (result.finished && newline != std::string::npos) {
        pids.show = result.output.substr(0, newline);
        pids.ffmpeg = result.output.substr(newline + 1);
        if (!pids.ffmpeg.empty() && pids.ffmpeg.back() == '\n') pids.ffmpeg.pop_back();
    }
    return pids;
}

// Their utime + stime in ms, QvShow.exe's then ffmpeg.exe's; -1 when unread.
struct CpuPair {
    double show = -1, ffmpeg = -1;
};
CpuPair LinuxCpuMs(const LinuxPids& pids) {
    const std::string script = "tck=$(getconf CLK_TCK)\nfor list in " + ShellQuote(pids.show) + " " +
                               ShellQuote(pids.ffmpeg) +
                               "; do\n  t=0\n  for p in $list; do\n"
                               "    s=$(sed 's/.*) //' /proc/$p/stat 2>/dev/null | awk '{print $12 + $13}')\n"
                               "    t=$((t + ${s:-0}))\n  done\n  echo $((t * 1000 / tck))\ndone\n";
    const LinuxCommandResult result = RunLinuxCommand(script, 30000);
    CpuPair pair;
    if (result.finished && result.exitCode == 0) std::sscanf(result.output.c_str(), "%lf %lf", &pair.show, &pair.ffmpeg);
    return pair;
}

double Percentile(std::vector<DWORD> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5))];
}

void MeasureMarkers(PublishChain& chain, FramePlayer& player, int width, int height, int goalMs) {
    const Rgb colours[] = {{220, 30, 30}, {30, 30, 220}};
    std::vector<DWORD> latencies;
    for (int i = 0; i < kMarkers; ++i) {
        const Rgb& marker = colours[i % 2];
        player.NewFrames();
        const DWORD written = chain.Producer().ShowColour(BYTE(marker.r), BYTE(marker.g), BYTE(marker.b));
        for (DWORD waited = 0; waited < 5000; waited += 5) {
            bool seen = false;
            for (const auto& frame : player.NewFrames())
                seen = seen || NearColour(marker, CentreColour(frame, width, height), 40);
            if (seen) {
                latencies.push_back(::GetTickCount() - written);
                break;
            }
            ::Sleep(5);
        }
        ::Sleep(300);
    }
    std::printf("  marker latency (WriteFrame to first frame showing it, %zu of %d seen): median %.0f ms, "
                "p95 %.0f ms (goal: median under %d ms)\n",
                latencies.size(), kMarkers, Percentile(latencies, 0.5), Percentile(latencies, 0.95), goalMs);
}

// When each step of a publish's start-up was first seen, in ms after
// "start" (0 when not seen): polled every few ms from this process, so each
// stamp is late by up to one poll (nginx's log is read every 20 ms).
struct StartupTimeline {
    DWORD qvShow = 0;        // QvShow.exe in the process list
    DWORD firstFfmpeg = 0;   // the first ffmpeg.exe (the encoder probe, when there is one)
    DWORD probeDone = 0;     // that probe gone again
    DWORD publisher = 0;     // the ffmpeg.exe that publishes
    DWORD publishSeen = 0;   // nginx logged the publish
    DWORD firstPacket = 0;   // the copying reader wrote its first video bytes
    DWORD firstFrame = 0;    // the decoding player wrote its first frame
};

StartupTimeline WatchStartup(PublishChain& chain, FramePlayer& player, StreamReader& packets, WireClient& client,
                             int level) {
    StartupTimeline t;
    const size_t events = chain.Server().EventCount();
    const DWORD started = ::GetTickCount();
    client.Send(PublishChain::StartMessage(chain.RoomUrl(), level));
    // Every ffmpeg.exe seen: when it came and when it went (0: still there).
    struct Seen {
        DWORD id, came, went;
    };
    std::vector<Seen> ffmpegs;
    auto since = [&] { return std::max<DWORD>(1, ::GetTickCount() - started); };
    auto stamp = [&](DWORD& at, bool seen) {
        if (!at && seen) at = since();
    };
    while (!t.firstFrame && ::GetTickCount() - started < 30000) {
        stamp(t.qvShow, !ProcessesNamed(L"QvShow.exe").empty());
        const std::vector<DWORD> now = ProcessesNamed(L"ffmpeg.exe");
        for (DWORD id : now) {
            if (std::none_of(ffmpegs.begin(), ffmpegs.end(), [&](const Seen& f) { return f.id == id; }))
                ffmpegs.push_back({id, since(), 0});
        }
        for (Seen& f : ffmpegs)
            if (!f.went && std::find(now.begin(), now.end(), f.id) == now.end()) f.went = since();
        stamp(t.firstPacket, packets.Size() > 0);
        stamp(t.firstFrame, player.HasFrame());
        ::Sleep(5);
    }
    // The publisher is the last to come and still there; any before it were
    // probes (QvShow.exe's encoder list, the HD levels' encoder probes, run at
    // once), done when the last of them went.
    for (const Seen& f : ffmpegs) {
        if (!f.went) t.publisher = f.came;
        else {
            if (!t.firstFfmpeg) t.firstFfmpeg = f.came;
            t.probeDone = std::max(t.probeDone, f.went);
        }
    }
    RtmpEvent publish;
    if (chain.Server().WaitForEvent(RtmpEvent::kPublish, events, 0, &publish))
        t.publishSeen = publish.seenTick - started;
    return t;
}

std::string Stamp(DWORD ms) { return ms ? std::to_string(ms) + " ms" : std::string("-"); }

void PrintTimeline(const StartupTimeline& t) {
    std::printf("  after \"start\": QvShow.exe %s, encoder probe %s..%s, FFmpeg publishing %s, nginx publish %s, "
                "first video packet %s, first decoded frame %s\n",
                Stamp(t.qvShow).c_str(), Stamp(t.firstFfmpeg).c_str(), Stamp(t.probeDone).c_str(),
                Stamp(t.publisher).c_str(), Stamp(t.publishSeen).c_str(), Stamp(t.firstPacket).c_str(),
                Stamp(t.firstFrame).c_str());
}

void MeasureCpu(const std::wstring& daemonDir) {
    const LinuxPids pids = FindLinuxPids(daemonDir);
    const ULONGLONG showBefore = WindowsCpuMs(L"QvShow.exe"), ffmpegBefore = WindowsCpuMs(L"ffmpeg.exe");
    const CpuPair linuxBefore = LinuxCpuMs(pids);
    const DWORD started = ::GetTickCount();
    ::Sleep(kCpuWindowMs);
    const CpuPair linuxAfter = LinuxCpuMs(pids);
    // Both Linux reads take about as long, so the window is the time between their ends.
    const double window = (::GetTickCount() - started) / 100.0;  // ms per percent of one core
    const double showWindows = (WindowsCpuMs(L"QvShow.exe") - showBefore) / window;
    const double ffmpegWindows = (WindowsCpuMs(L"ffmpeg.exe") - ffmpegBefore) / window;
    if (pids.show.empty() || pids.ffmpeg.empty() || linuxBefore.show < 0 || linuxAfter.show < 0) {
        std::printf("  processor time: the Linux side could not be read; Windows says QvShow.exe %.1f %%, "
                    "ffmpeg.exe %.1f %% of one core\n", showWindows, ffmpegWindows);
        return;
    }
    std::printf("  processor time over %.0f s (Linux utime+stime of pids %s/ %s): QvShow.exe %.1f %%, ffmpeg.exe "
                "%.1f %% of one core (GetProcessTimes under Wine: %.1f %%, %.1f %%)\n",
                window / 10, pids.show.c_str(), pids.ffmpeg.c_str(), (linuxAfter.show - linuxBefore.show) / window,
                (linuxAfter.ffmpeg - linuxBefore.ffmpeg) / window, showWindows, ffmpegWindows);
    std::fflush(stdout);
}

}  // namespace

int wmain() {
    PublishChain chain;
    const std::string failure = chain.Start();
    if (!failure.empty()) {
        std::printf("cannot run the chain: %s\n", failure.c_str());
        return 1;
    }
    WireClient client;
    std::string greeting;
    if (!client.Connect(kCommandPort, 5000) || !client.ReadMessage(greeting, 15000)) {
        std::printf("no greeting from the daemon\n");
        return 1;
    }
    std::printf("publish benchmark (goal: first frame within 2.5 s of \"start\" at levels 0, 1 and 3, and at 4 and 5 "
                "once the encoder choice is remembered)\n");
    std::fflush(stdout);
    // The HD levels' first start probes the encoders (QvShow.exe forgets
    // its choice here); they run once more at the end, taking the choice
    // remembered by then.
    wchar_t appData[MAX_PATH] = {};
    const DWORD appDataLength = ::GetEnvironmentVariableW(L"LOCALAPPDATA", appData, MAX_PATH);
    if (appDataLength > 0 && appDataLength < MAX_PATH)
        ::DeleteFileW((std::wstring(appData) + L"\\QvPush\\encoder.txt").c_str());
    std::vector<Level> runs(std::begin(kLevels), std::end(kLevels));
    runs.insert(runs.end(), {{4, 1280, 720}, {5, 1920, 1080}});
    int hdStarts = 0;
    for (const Level& l : runs) {
        chain.Producer().ShowColour(128, 128, 128);
        FramePlayer player;
        StreamReader packets;
        const std::string url = chain.Server().Url("room1");
        const int playerWidth = std::min(l.width, kPlayerMaxWidth), playerHeight = l.height * playerWidth / l.width;
        std::string error = player.Start(url, playerWidth, playerHeight);
        if (error.empty()) error = packets.Start(url, "-an -c:v copy -f h264", L"packets.h264");
        if (!error.empty()) {
            std::printf("reader: %s\n", error.c_str());
            return 1;
        }
        ::Sleep(1000);  // the readers are waiting on the stream before it starts
        const StartupTimeline timeline = WatchStartup(chain, player, packets, client, l.level);
        NextReply(client, 10000);
        const char* which = l.level < 4 ? "" : hdStarts++ < 2 ? ", first start" : ", later start";
        std::printf("level %d (%dx%d%s): first frame %s\n", l.level, l.width, l.height, which,
                    timeline.firstFrame ? (std::to_string(timeline.firstFrame) + " ms after \"start\"").c_str()
                                        : "not within 30 s");
        PrintTimeline(timeline);
        std::fflush(stdout);
        packets.Stop();
        if ((l.level == 0 || (l.level == 4 && hdStarts == 1)) && timeline.firstFrame)
            MeasureMarkers(chain, player, playerWidth, playerHeight, l.level == 0 ? 300 : 400);
        MeasureCpu(chain.DaemonDirectory());
        client.Send(Message(L"stop"));
        NextReply(client, 10000);
        player.Stop();
        WaitUntilGone({L"QvShow.exe", L"ffmpeg.exe"}, 5000);
        // nginx takes a publish of the same name again once the old one is gone.
        ::Sleep(1500);
    }
    return 0;
}
