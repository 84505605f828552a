// The arithmetic behind the camera's sample release times.
#include "camera/filter/stream_pacing.h"

#include <gtest/gtest.h>

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

}  // namespace
