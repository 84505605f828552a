// What the camera's samples hold: the stand-by picture while nothing fresh
// was injected, a frame injected by another process (as it is at 640 x 480,
// halved at 320 x 240) until it is older than two seconds, and only as many
// bytes as were injected, never more than the sample holds.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/camera/filter/camera_graph.h"

namespace {

constexpr DWORD kSampleWaitMs = 5000;
// A sample filled before an event can still arrive up to one pacing wait
// (66.7 ms) after it; samples arriving later than this were filled after it.
constexpr DWORD kFilledAfterMs = 150;

// Waits until the shared record holds no fresh frame, so that the camera
// shows stand-by; frames of earlier tests stay fresh for two seconds.
void WaitUntilRecordIsStale() {
    FrameExchange* record = LoadedFrameExchange();
    ASSERT_NE(nullptr, record) << "the camera module is not loaded in this process";
    const DWORD age = ::GetTickCount() - record->writeTick;
    if (record->hasFrame && age <= 2000) ::Sleep(2000 - age + kFilledAfterMs);
}

class FrameProduction : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(m_com.Result()); }

    // Builds and connects the graph at the given size and runs it.
    void StartAt(LONG width) {
        ASSERT_EQ("", m_graph.Build());
        if (width == 320) {
            ASSERT_EQ(S_OK, SetHalfSizeFormat(m_graph.StreamConfig()));
        }
        ASSERT_EQ("", m_graph.Connect());
        LONG w = 0, h = 0;
        ASSERT_TRUE(m_graph.ConnectedSize(&w, &h));
        ASSERT_EQ(width, w);
        ASSERT_HRESULT_SUCCEEDED(m_graph.Control()->Run());
        ASSERT_TRUE(m_graph.Samples().WaitForCount(0, kSampleWaitMs)) << "no sample reached the grabber";
    }

    // The next sample filled after now.
    GrabbedSample NextSample() {
        const long index = m_graph.Samples().WaitForSampleAfterTick(::GetTickCount() + kFilledAfterMs, kSampleWaitMs);
        EXPECT_GE(index, 0) << "no sample within " << kSampleWaitMs << " ms";
        return index >= 0 ? m_graph.Samples().At(static_cast<size_t>(index)) : GrabbedSample();
    }

    // Injects from another process; the tick after the write is done.
    DWORD Inject(const std::wstring& arguments) {
        EXPECT_EQ("", RunProducer(arguments));
        return ::GetTickCount();
    }

    ComScope m_com;
    CameraGraph m_graph;
};

void ExpectPicture(const GrabbedSample& sample, const std::vector<uint8_t>& expected, const char* what) {
    ASSERT_EQ(expected.size(), sample.data.size()) << what;
    EXPECT_EQ("equal", FirstDifference(sample.data.data(), expected.data(), expected.size())) << what;
}

TEST_F(FrameProduction, StandbyPictureWhenNothingWasInjected) {
    ASSERT_FALSE(StandbyFullPicture().empty()) << "the test program lacks its copy of the stand-by picture";
    ASSERT_NO_FATAL_FAILURE(StartAt(640));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    for (int i = 0; i < 3; ++i) ExpectPicture(NextSample(), StandbyFullPicture(), "640 x 480 stand-by");
}

TEST_F(FrameProduction, HalvedStandbyPictureAt320x240) {
    ASSERT_NO_FATAL_FAILURE(StartAt(320));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    const std::vector<uint8_t> half = HalvedPicture(StandbyFullPicture());
    for (int i = 0; i < 3; ++i) ExpectPicture(NextSample(), half, "320 x 240 stand-by");
}

TEST_F(FrameProduction, InjectedFrameByteForByteAt640x480UntilItIsTwoSecondsOld) {
    ASSERT_NO_FATAL_FAILURE(StartAt(640));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    const std::vector<uint8_t> ramp = RampPicture(kFullBytes);
    Inject(L"--pattern ramp");
    FrameExchange* record = LoadedFrameExchange();
    const DWORD written = record->writeTick;
    ExpectPicture(NextSample(), ramp, "the injected frame");

    // Sample and hold: the frame goes on being delivered while it is fresh.
    const size_t from = m_graph.Samples().Count();
    const long late = m_graph.Samples().WaitForSampleAfterTick(written + 2400, kSampleWaitMs, from);
    ASSERT_GE(late, 0);
    size_t injected = 0, standby = 0;
    for (size_t i = from; i <= static_cast<size_t>(late); ++i) {
        const GrabbedSample s = m_graph.Samples().At(i);
        ASSERT_EQ(kFullBytes, s.data.size()) << "sample " << i;
        const DWORD age = s.arrivalTick - written;
        if (age <= 1900) {
            EXPECT_EQ("equal", FirstDifference(s.data.data(), ramp.data(), kFullBytes))
                << "sample " << i << ", " << age << " ms after the write, is the injected frame";
            ++injected;
        } else if (age >= 2000 + kFilledAfterMs) {
            EXPECT_EQ("equal", FirstDifference(s.data.data(), StandbyFullPicture().data(), kFullBytes))
                << "sample " << i << ", " << age << " ms after the write, is stand-by";
            ++standby;
        }
    }
    EXPECT_GE(injected, 15u) << "the frame is held for the samples of two seconds";
    EXPECT_GE(standby, 1u);
    EXPECT_EQ(0, record->hasFrame) << "the reader marks a stale frame";
}

TEST_F(FrameProduction, InjectedFrameHalvedAt320x240) {
    ASSERT_NO_FATAL_FAILURE(StartAt(320));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    Inject(L"--pattern ramp");
    EXPECT_EQ(1, LoadedFrameExchange()->hasFrame);
    ExpectPicture(NextSample(), HalvedPicture(RampPicture(kFullBytes)), "every second pixel of every second row");
}

TEST_F(FrameProduction, ShortFrameFillsOnlyItsBytesAt640x480) {
    ASSERT_NO_FATAL_FAILURE(StartAt(640));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    ExpectPicture(NextSample(), StandbyFullPicture(), "stand-by before the injection");
    Inject(L"--pattern ramp --length 1000");
    // One buffer: the rest of the sample still holds the stand-by picture.
    std::vector<uint8_t> expected = StandbyFullPicture();
    const std::vector<uint8_t> ramp = RampPicture(1000);
    std::copy(ramp.begin(), ramp.end(), expected.begin());
    ExpectPicture(NextSample(), expected, "1,000 injected bytes, then what the buffer held");
}

TEST_F(FrameProduction, ShortFrameFillsAQuarterOfItsLengthAt320x240) {
    ASSERT_NO_FATAL_FAILURE(StartAt(320));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    const std::vector<uint8_t> standbyHalf = HalvedPicture(StandbyFullPicture());
    ExpectPicture(NextSample(), standbyHalf, "stand-by before the injection");
    Inject(L"--pattern ramp --length 4002");
    // 4,002 / 4 = 1,000 bytes of the halved frame; they come from the
    // frame's first 4,002 bytes.
    std::vector<uint8_t> expected = standbyHalf;
    const std::vector<uint8_t> halfRamp = HalvedPicture(RampPicture(kFullBytes));
    std::copy(halfRamp.begin(), halfRamp.begin() + 1000, expected.begin());
    ExpectPicture(NextSample(), expected, "1,000 halved bytes, then what the buffer held");
}

TEST_F(FrameProduction, OverlongFrameIsCutToTheSample) {
    ASSERT_NO_FATAL_FAILURE(StartAt(640));
    // The record's whole capacity: more than a 640 x 480 sample holds.
    Inject(L"--pattern ramp --length 1228800");
    ExpectPicture(NextSample(), RampPicture(kFullBytes), "the first 921,600 bytes");
}

TEST_F(FrameProduction, OverlongFrameIsCutToTheSampleAt320x240) {
    ASSERT_NO_FATAL_FAILURE(StartAt(320));
    // A quarter of it, 307,200 bytes, is still more than the sample's 230,400.
    Inject(L"--pattern ramp --length 1228800");
    ExpectPicture(NextSample(), HalvedPicture(RampPicture(kFullBytes)), "the halved frame, 230,400 bytes");
}

TEST_F(FrameProduction, NewWriteAfterStandbyIsDeliveredAgain) {
    ASSERT_NO_FATAL_FAILURE(StartAt(640));
    ASSERT_NO_FATAL_FAILURE(WaitUntilRecordIsStale());
    ExpectPicture(NextSample(), StandbyFullPicture(), "stand-by");
    EXPECT_EQ(0, LoadedFrameExchange()->hasFrame);
    Inject(L"--pattern bgr:10,20,30");
    std::vector<uint8_t> uniform(kFullBytes);
    for (size_t i = 0; i < kFullBytes; i += 3) {
        uniform[i] = 10;
        uniform[i + 1] = 20;
        uniform[i + 2] = 30;
    }
    ExpectPicture(NextSample(), uniform, "the new frame");
}

}  // namespace
