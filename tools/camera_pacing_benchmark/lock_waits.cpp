#include "tools/camera_pacing_benchmark/lock_waits.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "camera/filter/frame_exchange.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr LONG kFrameBytes = 921600;
constexpr auto kContendFor = std::chrono::seconds(2);

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Spread {
    double median = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> ms) {
    Spread s;
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    s.median = ms[ms.size() / 2];
    s.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    s.max = ms.back();
    return s;
}

// A record and guard of this program's own, so that the module's shared
// ones are left as they are.
struct PrivateExchange {
    FrameExchange record;
    FrameExchangeGuard guard;
};

// Writes whole frames into the exchange until told to stop; the time of
// every write goes into `took` when given.
void WriteUntil(PrivateExchange& exchange, const std::atomic<bool>& stop, std::vector<double>* took) {
    std::vector<BYTE> frame(kFrameBytes, 0x5A);
    while (!stop.load()) {
        const Clock::time_point start = Clock::now();
        WriteFrameExchange(exchange.record, exchange.guard, frame.data(), kFrameBytes);
        if (took) took->push_back(MsSince(start));
    }
}

double OneCopyMs() {
    std::vector<BYTE> from(kFrameBytes, 1), to(kFrameBytes);
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        const Clock::time_point start = Clock::now();
        std::memcpy(to.data(), from.data(), kFrameBytes);
        ms.push_back(MsSince(start));
    }
    return SpreadOf(ms).median;
}

}  // namespace

void MeasureLockWaits() {
    auto exchange = std::make_unique<PrivateExchange>();
    std::vector<BYTE> copy(kFrameBytes);
    std::printf("\nlock waits (%lld s of contention each; one copy of 921,600 bytes %.3f ms)\n",
                static_cast<long long>(kContendFor.count()), OneCopyMs());

    // A reader taking frames while a writer writes without a pause.
    {
        std::atomic<bool> stop{false};
        std::thread writer(WriteUntil, std::ref(*exchange), std::cref(stop), nullptr);
        std::vector<double> takes;
        long busy = 0;
        const Clock::time_point end = Clock::now() + kContendFor;
        while (Clock::now() < end) {
            const Clock::time_point start = Clock::now();
            const FrameTake take = TakeFreshFrame(exchange->record, exchange->guard, [&](const BYTE* data, LONG length) {
                std::memcpy(copy.data(), data, static_cast<size_t>(std::min(length, kFrameBytes)));
            });
            takes.push_back(MsSince(start));
            if (take == FrameTake::Busy) ++busy;
        }
        stop = true;
        writer.join();
        const Spread s = SpreadOf(takes);
        std::printf("  reader behind a writer: %zu takes, median %.3f ms, p99 %.3f ms, max %.3f ms, %ld busy\n",
                    takes.size(), s.median, s.p99, s.max, busy);
    }

    // Two writers writing without a pause: each write waits for the other's.
    {
        std::atomic<bool> stop{false};
        std::vector<double> first, second;
        std::thread a(WriteUntil, std::ref(*exchange), std::cref(stop), &first);
        std::thread b(WriteUntil, std::ref(*exchange), std::cref(stop), &second);
        std::this_thread::sleep_for(kContendFor);
        stop = true;
        a.join();
        b.join();
        first.insert(first.end(), second.begin(), second.end());
        const Spread s = SpreadOf(first);
        std::printf("  writer behind a writer: %zu writes, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                    first.size(), s.median, s.p99, s.max);
    }

    // A holder of this (living) process that never lets go.
    {
        CFrameWriterLock holder(exchange->guard, kWriterLockTimeoutMs);
        std::vector<BYTE> frame(kFrameBytes, 0x11);
        Clock::time_point start = Clock::now();
        const HRESULT written = WriteFrameExchange(exchange->record, exchange->guard, frame.data(), kFrameBytes);
        const double writerGaveUp = MsSince(start);
        holder.BeginChange();
        start = Clock::now();
        const FrameTake take = TakeFreshFrame(exchange->record, exchange->guard, [](const BYTE*, LONG) {});
        const double readerGaveUp = MsSince(start);
        std::printf("  writer gives up on a held lock after %.1f ms (limit %lu ms%s)\n", writerGaveUp,
                    static_cast<unsigned long>(kWriterLockTimeoutMs),
                    written == HRESULT_FROM_WIN32(ERROR_TIMEOUT) ? "" : "; it did not give up");
        std::printf("  reader gives up on a change under way after %.1f ms (limit %lu ms%s)\n", readerGaveUp,
                    static_cast<unsigned long>(kReaderLockTimeoutMs), take == FrameTake::Busy ? "" : "; it did not");
    }
}
