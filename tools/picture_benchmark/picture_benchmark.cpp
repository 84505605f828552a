// Figures of the pictures for WebSocket sessions, printed: the service's
// processor time with none (the baseline), 1 and 8 watchers asking for 10 pictures a second,
// 640 wide, while a producer writes a 640 x 480 picture into the named frame
// exchange at 30 fps; and the delay from a frame's write to the arrival of
// its JPEG at a watcher (frames at 10 fps, so each picture belongs to the
// latest frame), median and 95th percentile.
#include "common/named_frame_exchange.h"
#include "tests/daemon/command/wire_client.h"
#include "tools/benchmark_support/benchmark_service.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const uint16_t kWebPort = 19724;
const DWORD kMeasureMs = 10000;
const LONG kWidth = 640, kHeight = 480;

const char kHandshake[] =
    "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:19724\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

// One masked client text frame (the mask is zero: the bytes stay as they are).
std::string ClientText(const std::string& text) {
    std::string frame = "\x81";
    frame += static_cast<char>(0x80 | text.size());
    frame += std::string(4, '\0');
    return frame + text;
}

// The next server frame's opcode and payload size (the payload is read and
// dropped); false when none came within the time.
bool ReadFrame(WireClient& client, int& opcode, size_t& size, DWORD timeoutMs) {
    const std::string head = client.Read(2, timeoutMs);
    if (head.size() < 2) return false;
    opcode = head[0] & 0x0F;
    size = static_cast<unsigned char>(head[1]) & 0x7F;
    const size_t extra = size == 126 ? 2 : size == 127 ? 8 : 0;
    if (extra) {
        const std::string length = client.Read(extra, timeoutMs);
        if (length.size() < extra) return false;
        size = 0;
        for (char c : length) size = (size << 8) | static_cast<unsigned char>(c);
    }
    return client.Read(size, timeoutMs).size() == size;
}

// Writes frames at `fps` until stopped, noting each write's time.
class Producer {
public:
    explicit Producer(int fps) : m_fps(fps) {
        m_exchange.Open();
        m_thread = std::thread([this] { Run(); });
    }
    ~Producer() {
        m_stop = true;
        m_thread.join();
    }
    LARGE_INTEGER LastWrite() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastWrite;
    }

private:
    void Run() {
        std::vector<BYTE> picture(static_cast<size_t>(kWidth) * kHeight * 3);
        for (int frame = 0; !m_stop; ++frame) {
            for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<BYTE>((i / 1920 + frame * 4) & 0xFF);
            m_exchange.WriteFrame(kWidth, kHeight, NamedFrameFormat::RGB24, kWidth * 3, m_fps, picture.data());
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lastWrite = Now();
            }
            ::Sleep(1000 / m_fps);
        }
    }

    CNamedFrameExchange m_exchange;
    const int m_fps;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    LARGE_INTEGER m_lastWrite = {};
    std::thread m_thread;
};

// Under Wine, GetProcessTimes of another process counts far less than the
// host sees (1.5 % against 7.4 % measured here), so the service's time is
// read where the host keeps it: its Linux process's /proc/<pid>/stat
// (utime and stime in 1/100 s), found by the image mapped into it. 0 when
// there is no /proc (Windows).
class HostProcessorClock {
public:
    HostProcessorClock() {
        // This benchmark's own service: other trees may run theirs.
        char own[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, own, MAX_PATH);
        std::string image = own;
        if (image.compare(0, 2, "Z:") != 0 && image.compare(0, 2, "z:") != 0) return;
        image = image.substr(2, image.find_last_of('\\') - 1) + "command_service_test_host.exe";
        for (char& c : image) c = c == '\\' ? '/' : c;
        WIN32_FIND_DATAA entry;
        HANDLE find = ::FindFirstFileA("Z:\\proc\\*", &entry);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::string name = entry.cFileName;
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            if (ReadAll("Z:\\proc\\" + name + "\\maps").find(image) != std::string::npos) {
                m_stat = "Z:\\proc\\" + name + "\\stat";
                break;
            }
        } while (::FindNextFileA(find, &entry));
        ::FindClose(find);
    }
    bool Found() const { return !m_stat.empty(); }
    double Ms() const {
        const std::string stat = ReadAll(m_stat);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) return 0;
        // Fields after the name: state is field 3; utime and stime are 14 and 15.
        size_t at = close + 2;
        double ticks = 0;
        for (int field = 3; field <= 15 && at < stat.size(); ++field) {
            const size_t end = stat.find(' ', at);
            if (field >= 14) ticks += std::strtod(stat.substr(at, end - at).c_str(), nullptr);
            at = end == std::string::npos ? stat.size() : end + 1;
        }
        return ticks * 10;
    }

private:
    static std::string ReadAll(const std::string& path) {
        std::string text;
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return text;
        char chunk[65536];
        DWORD count = 0;
        while (::ReadFile(file, chunk, sizeof(chunk), &count, nullptr) && count > 0) text.append(chunk, count);
        ::CloseHandle(file);
        return text;
    }

    std::string m_stat;
};

bool OpenWatcher(WireClient& client) {
    if (!client.Connect(kWebPort, 15000) || !client.Send(kHandshake)) return false;
    // The answer's head, byte by byte up to its blank line.
    std::string head;
    while (head.size() < 4096 && (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0)) {
        const std::string byte = client.Read(1, 15000);
        if (byte.empty()) return false;
        head += byte;
    }
    if (head.compare(0, 12, "HTTP/1.1 101") != 0) {
        printf("  answer: %.60s\n", head.c_str());
        return false;
    }
    return client.Send(ClientText("picture rate=\"10\" width=\"640\""));
}

void MeasureLoad(BenchmarkService& service, const HostProcessorClock& host, int watchers) {
    Producer producer(30);
    std::vector<std::unique_ptr<WireClient>> clients;
    for (int i = 0; i < watchers; ++i) {
        clients.push_back(std::make_unique<WireClient>());
        if (!OpenWatcher(*clients.back())) printf("  watcher %d not opened\n", i);
    }
    ::Sleep(2000);  // past the first pictures and the encoder's set-up
    // Arrival times of each watcher's pictures; only those within the
    // measured span count.
    std::vector<std::vector<double>> arrivals(watchers);
    std::vector<std::thread> readers;
    std::atomic<bool> stop{false};
    const LARGE_INTEGER origin = Now();
    for (int i = 0; i < watchers; ++i)
        readers.emplace_back([&, i] {
            int opcode = 0;
            size_t size = 0;
            while (!stop)
                if (ReadFrame(*clients[i], opcode, size, 1000) && opcode == 2) arrivals[i].push_back(ElapsedMs(origin));
        });
    ::Sleep(500);
    const double before = service.ProcessorMs(), hostBefore = host.Ms();
    const double from = ElapsedMs(origin);
    ::Sleep(kMeasureMs);
    const double used = service.ProcessorMs() - before, hostUsed = host.Ms() - hostBefore;
    const double to = ElapsedMs(origin);
    stop = true;
    for (std::thread& reader : readers) reader.join();
    double least = 1e9, most = 0;
    for (const std::vector<double>& times : arrivals) {
        int count = 0;
        for (double t : times) count += t >= from && t < to ? 1 : 0;
        const double rate = count * 1000.0 / (to - from);
        least = rate < least ? rate : least;
        most = rate > most ? rate : most;
    }
    if (watchers == 0) least = most = 0;
    printf("%d watcher(s), 10/s, 640 wide, frames at 30 fps: %.1f %% of one core (host's count; %.1f %% by "
           "GetProcessTimes); pictures a second per watcher %.1f to %.1f\n",
           watchers, 100.0 * hostUsed / (to - from), 100.0 * used / (to - from), least, most);
}

void MeasureDelay() {
    Producer producer(10);
    WireClient client;
    if (!OpenWatcher(client)) {
        printf("delay: watcher not opened\n");
        return;
    }
    Figures delays;
    const ULONGLONG end = ::GetTickCount64() + 2000 + kMeasureMs;
    const ULONGLONG from = ::GetTickCount64() + 2000;
    int opcode = 0;
    size_t size = 0;
    while (::GetTickCount64() < end) {
        if (!ReadFrame(client, opcode, size, 1000) || opcode != 2) continue;
        const LARGE_INTEGER written = producer.LastWrite();
        if (::GetTickCount64() >= from) delays.ms.push_back(ElapsedMs(written));
    }
    delays.Print("frame written to its JPEG at the watcher (frames at 10 fps)");
}

}  // namespace

int wmain() {
    BenchmarkService service;
    if (!StartWebService(service)) return 1;
    const HostProcessorClock host;
    if (!host.Found()) printf("(no /proc: the host's count is not available)\n");
    MeasureLoad(service, host, 0);
    MeasureLoad(service, host, 1);
    ::Sleep(3000);
    MeasureLoad(service, host, 8);
    ::Sleep(3000);
    MeasureDelay();
    service.Stop();
    return 0;
}
