// The arithmetic behind the camera's sample release times.
#include "camera/filter/stream_pacing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "camera/filter/pacing_timer.h"
#include "common/unique_handle.h"

namespace {

TEST(StreamPacing, FirstSamplesAndTheFifteenMillisecondLead) {
    struct Case {
        REFERENCE_TIME start;
        DWORD elapsedMs;
        DWORD expectedMs;
    };
    const Case cases[] = {
        {0, 0, 0},                      // sample 0 leaves at once
        {kSampleDuration, 0, 51},       // sample 1: 66.6666 - 15 ms, cut to whole ms
        {kSampleDuration, 51, 0},       // ...and not after 51.6666 ms have passed
        {kSampleDuration, 52, 0},
        {150000, 0, 15},                // at or below the lead the start itself is the target
        {150001, 0, 0},                 // 0.0001 ms ahead rounds down to no wait
        {120000, 0, 12},                // below the lead: no lead taken off
        {10 * kSampleDuration, 0, 651}, // 666.666 - 15 ms
        {10 * kSampleDuration, 700, 0}, // behind the wall clock: no wait, no skip
        {45 * kSampleDuration, 2900, 84},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expectedMs, PacingDelayMs(c.start, c.elapsedMs))
            << "start " << c.start << " elapsed " << c.elapsedMs << " ms";
    }
}

TEST(StreamPacing, LongRunsDoNotOverflowTheElapsedCount) {
    // 0xFFFFFFFF ms times 10,000 needs 64 bits.
    EXPECT_EQ(0u, PacingDelayMs(kSampleDuration * 15 * 3600, 0xFFFFFFFFu));
    EXPECT_EQ(3600000u - 15u, PacingDelayMs(static_cast<REFERENCE_TIME>(3600) * 10000000, 0));
}

TEST(StreamPacing, LaterTickAcrossTheWrapOfTheMillisecondCounter) {
    EXPECT_EQ(200u, LaterTick(100, 200));
    EXPECT_EQ(200u, LaterTick(200, 100));
    EXPECT_EQ(0x00000010u, LaterTick(0xFFFFFFF0u, 0x00000010u));
    EXPECT_EQ(0x00000010u, LaterTick(0x00000010u, 0xFFFFFFF0u));
    EXPECT_EQ(7u, LaterTick(7, 7));
}

TEST(StreamPacing, ReferenceIsTheRunUnlessTheStreamWasActivatedLater) {
    // Filter created (or last run) at 1,000; the pin became active at 5,000
    // and the graph has not run since: samples are paced from 5,000.
    EXPECT_EQ(5000u, PacingReference(1000, 5000));
    // Run at 9,000 after that pause: paced from the run.
    EXPECT_EQ(9000u, PacingReference(9000, 5000));
    // A run from stopped stores its time just before the pin becomes active.
    EXPECT_EQ(9001u, PacingReference(9000, 9001));
}

// The same on the performance counter, in 100-ns units: no rounding to
// whole milliseconds.
TEST(StreamPacing, DelayOnThePerformanceCounter) {
    const struct {
        REFERENCE_TIME start;
        LONGLONG elapsed;
        LONGLONG expected;
    } cases[] = {
        {0, 0, 0},
        {333333, 0, 333333 - kReleaseLead},
        {333333, 183333, 0},
        {333333, 183332, 1},
        {120000, 0, 120000},  // below the lead: no lead taken off
        {10 * 333333, 5000000, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, PacingDelay(c.start, c.elapsed)) << "start " << c.start << " elapsed " << c.elapsed;
}

// The wait ends at its due time, not on the next 15.6 ms tick of a host that
// never raised the timer resolution (this program does not), and at once
// when stopped.
TEST(PacingTimer, WaitsItsDelayAndStopsAtOnce) {
    CPacingTimer timer;
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<double> waits;
    for (int i = 0; i < 30; ++i) {
        const LONGLONG before = PerformanceTime100ns();
        EXPECT_TRUE(timer.Wait(183333, stop.get()));
        waits.push_back((PerformanceTime100ns() - before) / 10000.0);
    }
    std::sort(waits.begin(), waits.end());
    std::printf("18.33 ms waits (%s timer): min %.2f, median %.2f, max %.2f ms\n",
                timer.HighResolution() ? "high-resolution" : "ordinary", waits.front(), waits[waits.size() / 2],
                waits.back());
    EXPECT_GE(waits.front(), 18.3) << "a wait ended early";
    ::SetEvent(stop.get());
    const LONGLONG before = PerformanceTime100ns();
    EXPECT_FALSE(timer.Wait(50000000, stop.get()));
    EXPECT_LT(PerformanceTime100ns() - before, 10000000) << "a stop did not end a 5 s wait";
}

}  // namespace
