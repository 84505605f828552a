// When the camera's samples leave and what times they carry: sample n
// starts at n x 666,666 and stops at (n + 1) x 666,666 (100-ns units), is a
// sync point, and leaves no earlier than n x 66.667 ms - 15 ms after the run;
// a stop starts the times again at 0, a pause does not. The release times
// are checked from below only: how late a busy machine lets a thread run
// belongs to the pacing benchmark, not to a test.
#include <windows.h>
#include <dshow.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/camera/filter/camera_graph.h"

namespace {

constexpr DWORD kSampleWaitMs = 5000;
// Sleep and the millisecond clock may each be a millisecond off.
constexpr LONG kClockSlackMs = 3;

// Earliest release of a sample with this start time, in ms after the run.
LONG EarliestReleaseMs(REFERENCE_TIME start) {
    const REFERENCE_TIME target = start > 150000 ? start - 150000 : start;
    return static_cast<LONG>(target / 10000) - kClockSlackMs;
}

std::string Describe(const GrabbedSample& s) {
    return "start " + std::to_string(s.start) + " stop " + std::to_string(s.stop);
}

class StreamTiming : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(m_com.Result()); }

    // Checks samples [first, first + count) of one run: consecutive times
    // from `firstNumber` on, sync points, released no earlier than due.
    void ExpectSession(size_t first, size_t count, long firstNumber, DWORD runCallMs, const char* what,
                       size_t unpacedLeading = 0) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(m_graph.Samples().WaitForCount(first + count - 1, kSampleWaitMs));
        const std::vector<GrabbedSample> samples = m_graph.Samples().Metadata();
        for (size_t i = 0; i < count; ++i) {
            const GrabbedSample& s = samples[first + i];
            const REFERENCE_TIME n = firstNumber + static_cast<long>(i);
            EXPECT_EQ(S_OK, s.timeResult) << "sample " << n << " has start and stop times";
            EXPECT_EQ(n * kSampleTicks, s.start) << "sample " << n << ": " << Describe(s);
            EXPECT_EQ((n + 1) * kSampleTicks, s.stop) << "sample " << n << ": " << Describe(s);
            EXPECT_TRUE(s.syncPoint) << "sample " << n;
            if (i < unpacedLeading) continue;
            const LONG releasedMs = static_cast<LONG>(s.arrivalMs - runCallMs);
            EXPECT_GE(releasedMs, EarliestReleaseMs(s.start)) << "sample " << n << " left too early";
        }
    }

    bool WaitForState(OAFilterState wanted) {
        OAFilterState state = State_Stopped;
        return m_graph.Control()->GetState(kSampleWaitMs, &state) == S_OK && state == wanted;
    }

    ComScope m_com;
    CameraGraph m_graph;
};

TEST_F(StreamTiming, TimesFromZeroAgainAfterStopAndContinuedAfterPause) {
    ASSERT_EQ("", m_graph.Build());
    ASSERT_EQ("", m_graph.Connect());

    DWORD runCall = ::timeGetTime();
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
    ASSERT_NO_FATAL_FAILURE(ExpectSession(0, 12, 0, runCall, "first run"));
    // The tenth sample: 5,999,994 to 6,666,660.
    EXPECT_EQ(5999994, m_graph.Samples().At(9).start);
    EXPECT_EQ(6666660, m_graph.Samples().At(9).stop);

    ASSERT_HRESULT_SUCCEEDED(m_graph.Stop());
    size_t base = m_graph.Samples().Count();
    runCall = ::timeGetTime();
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
    ASSERT_NO_FATAL_FAILURE(ExpectSession(base, 6, 0, runCall, "run after stop"));

    // Pause; the samples of the next run continue the times, and wait for
    // the wall clock of that run to catch up with them.
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Pause());
    // The pause is complete once the renderer holds a sample; it then blocks
    // the pin's delivery, so the count stays as it is until the run.
    ASSERT_TRUE(WaitForState(State_Paused));
    const size_t beforeResume = m_graph.Samples().Count();
    const long nextNumber = static_cast<long>(beforeResume - base);
    runCall = ::timeGetTime();
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
    // The first sample after the run may have been filled before it.
    ASSERT_NO_FATAL_FAILURE(ExpectSession(beforeResume, 4, nextNumber, runCall, "run after pause", 1));
}

TEST_F(StreamTiming, LateRunAfterALongPauseIsNotHeldBack) {
    // Nothing behind the grabber: it passes every sample on at once, also
    // while the graph is paused, so the pin alone decides how fast they come.
    ASSERT_EQ("", m_graph.Build(false));
    // The camera has existed for a while before the graph is paused.
    ::Sleep(2500);
    ASSERT_EQ("", m_graph.Connect());

    const DWORD pauseCall = ::timeGetTime();
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Pause());
    EXPECT_TRUE(m_graph.Samples().WaitForCount(0, kSampleWaitMs)) << "the paused pin fills samples";
    // Samples come at 15 a second from the pause on, not in a burst making
    // up for the 2.5 s since the camera was created; looked at all through
    // the pause, as a burst would come at its start.
    size_t inPause = 0;
    DWORD runCall = 0;
    const DWORD pauseEnd = pauseCall + 1000;
    do {
        inPause = m_graph.Samples().Count();
        runCall = ::timeGetTime();
        const LONG pausedMs = static_cast<LONG>(runCall - pauseCall);
        ASSERT_LE(static_cast<LONG>(inPause), pausedMs * 15 / 1000 + 3) << "samples delivered in a " << pausedMs << " ms pause";
        ::Sleep(20);
    } while (static_cast<LONG>(runCall - pauseEnd) < 0);
    const LONG pausedMs = static_cast<LONG>(runCall - pauseCall);

    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
    const long first = m_graph.Samples().WaitForSampleAfterTick(::GetTickCount(), kSampleWaitMs, inPause);
    ASSERT_GE(first, 0);
    const GrabbedSample next = m_graph.Samples().At(static_cast<size_t>(first));
    // The samples of the pause are ahead of the run's clock by at most the
    // pause; those made up for the camera's lifetime would be 2.5 s more.
    EXPECT_LE(static_cast<LONG>(next.arrivalMs - runCall), pausedMs + 1000)
        << "the first samples after the run wait for no more than the pause: " << Describe(next);

    ASSERT_NO_FATAL_FAILURE(ExpectSession(0, inPause, 0, pauseCall, "paused, paced from the pause"));
    ASSERT_NO_FATAL_FAILURE(ExpectSession(inPause, 6, static_cast<long>(inPause), runCall, "after the run", 1));
}

TEST_F(StreamTiming, StopIsNotHeldUpByASampleWaitingForItsTime) {
    ASSERT_EQ("", m_graph.Build());
    ASSERT_EQ("", m_graph.Connect());
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
    // Three seconds of stream time, whatever the wall clock says.
    ASSERT_TRUE(m_graph.Samples().WaitForCount(45, 3 * kSampleWaitMs));
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Pause());
    ASSERT_TRUE(WaitForState(State_Paused));
    // After this run the next sample waits about three seconds for the wall
    // clock to catch up with its time stamp. That wait shows nowhere outside
    // the pin, so the stop comes a moment after the run, well inside it.
    ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
    ::Sleep(200);
    const DWORD stopCall = ::timeGetTime();
    ASSERT_HRESULT_SUCCEEDED(m_graph.Stop());
    EXPECT_LE(static_cast<LONG>(::timeGetTime() - stopCall), 1500) << "the stop waited for the held sample";
}

}  // namespace
