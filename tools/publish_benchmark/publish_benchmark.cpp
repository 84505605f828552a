// Figures of the publishing chain, printed (not a test): for each push
// level the time from "start" to the first video frame read back from the
// RTMP server and the processor time of QvShow.exe and FFmpeg; at level 0
// the latency from the WriteFrame of a marker picture to the first frame
// at the server that shows it (median and p95 over 20 markers). The frames
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
#include <string>
#include <vector>

namespace {

const int kMarkers = 20;
const DWORD kCpuWindowMs = 10000;

struct Level {
    int level, width, height;
};
const Level kLevels[] = {{0, 640, 480}, {1, 480, 360}, {2, 320, 240}, {3, 480, 360}};

// A player writing decoded frames into a file as they come.
class FramePlayer {
public:
    std::string Start(const std::string& url, int width, int height) {
        m_frameBytes = static_cast<size_t>(width) * height * 3;
        m_file = ScratchDirectory(L"benchmark-") + L"frames" + std::to_wstring(++m_count) + L".rgb";
        ::DeleteFileW(m_file.c_str());
        m_offset = 0;
        return m_player.Start("exec ffmpeg -nostdin -v error -fflags nobuffer -flags low_delay -probesize 32 "
                              "-analyzeduration 0 -i " + ShellQuote(url) + " -an -s " + std::to_string(width) + "x" +
                                  std::to_string(height) + " -pix_fmt rgb24 -f rawvideo -flush_packets 1 -y " +
                                  ShellQuote(UnixPath(m_file)),
                              300000);
    }
    void Stop() {
        m_player.Stop();
        ::DeleteFileW(m_file.c_str());
    }
    // Whole frames that arrived since the last call.
    std::vector<std::vector<uint8_t>> NewFrames() {
        std::vector<std::vector<uint8_t>> frames;
        std::ifstream in(m_file.c_str(), std::ios::binary);
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
    LinuxCommand m_player;
    std::wstring m_file;
    size_t m_frameBytes = 0, m_offset = 0;
    int m_count = 0;
};

ULONGLONG CpuMs(const std::wstring& imageName) {
    ULONGLONG total = 0;
    for (DWORD id : ProcessesNamed(imageName)) {
        HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        FILETIME created, ended, kernel, user;
        if (p && ::GetProcessTimes(p, &created, &ended, &kernel, &user)) {
            total += ((ULONGLONG(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
                      (ULONGLONG(user.dwHighDateTime) << 32 | user.dwLowDateTime)) / 10000;
        }
        if (p) ::CloseHandle(p);
    }
    return total;
}

double Percentile(std::vector<DWORD> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5))];
}

void MeasureMarkers(PublishChain& chain, FramePlayer& player, int width, int height) {
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
                "p95 %.0f ms (goal: median under 300 ms)\n",
                latencies.size(), kMarkers, Percentile(latencies, 0.5), Percentile(latencies, 0.95));
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
    std::printf("publish benchmark (goal: first frame within 2.5 s of \"start\" at levels 0, 1 and 3)\n");
    for (const Level& l : kLevels) {
        chain.Producer().ShowColour(128, 128, 128);
        FramePlayer player;
        std::string error = player.Start(chain.Server().Url("room1"), l.width, l.height);
        if (!error.empty()) {
            std::printf("player: %s\n", error.c_str());
            return 1;
        }
        ::Sleep(1000);  // the player is waiting on the stream before it starts
        const DWORD started = ::GetTickCount();
        client.Send(PublishChain::StartMessage(chain.RoomUrl(), l.level));
        DWORD firstFrame = 0;
        while (!firstFrame && ::GetTickCount() - started < 30000) {
            if (!player.NewFrames().empty()) firstFrame = ::GetTickCount() - started;
            ::Sleep(5);
        }
        NextReply(client, 10000);
        std::printf("level %d (%dx%d): first frame %s\n", l.level, l.width, l.height,
                    firstFrame ? (std::to_string(firstFrame) + " ms after \"start\"").c_str() : "not within 30 s");
        if (l.level == 0 && firstFrame) MeasureMarkers(chain, player, l.width, l.height);

        const ULONGLONG showBefore = CpuMs(L"QvShow.exe"), ffmpegBefore = CpuMs(L"ffmpeg.exe");
        ::Sleep(kCpuWindowMs);
        const double seconds = kCpuWindowMs / 1000.0;
        std::printf("  processor time over %.0f s: QvShow.exe %.1f %%, ffmpeg.exe %.1f %% of one core\n", seconds,
                    (CpuMs(L"QvShow.exe") - showBefore) / (10.0 * seconds),
                    (CpuMs(L"ffmpeg.exe") - ffmpegBefore) / (10.0 * seconds));
        client.Send(Message(L"stop"));
        NextReply(client, 10000);
        player.Stop();
        WaitUntilGone({L"QvShow.exe", L"ffmpeg.exe"}, 5000);
        // nginx takes a publish of the same name again once the old one is gone.
        ::Sleep(1500);
    }
    return 0;
}
