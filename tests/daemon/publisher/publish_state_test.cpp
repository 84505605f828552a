#include "daemon/publisher/publish_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace {

TEST(PublishState, StartsEmptyAtLevelZeroWithNothingWanted) {
    PublishState& state = ThePublishState();
    EXPECT_EQ(state.GetVideoDevice(), L"");
    EXPECT_EQ(state.GetAudioDevice(), L"");
    EXPECT_EQ(state.GetStreamUrl(), L"");
    EXPECT_EQ(state.GetPushLevel(), 0);
    EXPECT_FALSE(state.bridgeWanted.load());
    EXPECT_FALSE(state.publishingWanted.load());
    EXPECT_EQ(state.lastAnnouncedLevel.load(), -1);
}

// What a "preview" stores must not disturb what a "start" stored, and the
// supervisor reads back exactly what was stored, even when the lock was
// first taken before the service start initialised it.
TEST(PublishState, EachSetterChangesOnlyItsOwnValueAndKeepsItExactly) {
    PublishState state;
    state.SetStreamUrl(L"rtmp://before");
    state.InitLock();
    const std::wstring url = L"rtmp://host/kavo/直播间?k=1&t=2";
    const struct {
        const char* what;
        std::function<void()> set;
    } steps[] = {
        {"video", [&] { state.SetVideoDevice(L"USB 摄像头 \"1\""); }},
        {"audio", [&] { state.SetAudioDevice(L"麦克风 (Realtek(R) Audio)"); }},
        {"url", [&] { state.SetStreamUrl(url); }},
        {"level", [&] { state.SetPushLevel(-7); }},
    };
    for (const auto& step : steps) {
        const std::wstring video = state.GetVideoDevice(), audio = state.GetAudioDevice(),
                           stored = state.GetStreamUrl();
        const int32_t level = state.GetPushLevel();
        step.set();
        const std::string what = step.what;
        EXPECT_TRUE(what == "video" || state.GetVideoDevice() == video) << what << " changed the video device";
        EXPECT_TRUE(what == "audio" || state.GetAudioDevice() == audio) << what << " changed the audio device";
        EXPECT_TRUE(what == "url" || state.GetStreamUrl() == stored) << what << " changed the stream URL";
        EXPECT_TRUE(what == "level" || state.GetPushLevel() == level) << what << " changed the push level";
    }
    EXPECT_EQ(state.GetVideoDevice(), L"USB 摄像头 \"1\"");
    EXPECT_EQ(state.GetAudioDevice(), L"麦克风 (Realtek(R) Audio)");
    EXPECT_EQ(state.GetStreamUrl(), url);
    EXPECT_EQ(state.GetPushLevel(), -7) << "a level outside 0..5 is stored as it came";
    EXPECT_FALSE(state.bridgeWanted.load());
    EXPECT_FALSE(state.publishingWanted.load());
}

TEST(PublishState, LevelsOutsideZeroToFiveActAsThree) {
    const struct {
        int32_t level, effective;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {-1, 3}, {6, 3}, {7, 3}, {INT32_MIN, 3}, {INT32_MAX, 3}};
    for (const auto& c : cases) EXPECT_EQ(EffectivePushLevel(c.level), c.effective) << c.level;
}

TEST(PublishState, ConcurrentWritersNeverTearAValue) {
    PublishState state;
    const std::wstring a(500, L'a'), b(700, L'b');
    std::vector<std::thread> threads;
    std::atomic<int> torn{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i) {
                state.SetStreamUrl((i + t) % 2 ? a : b);
                state.SetPushLevel(i);
                std::wstring seen = state.GetStreamUrl();
                if (seen != a && seen != b) ++torn;
                state.publishingWanted = (i % 2) == 0;
                state.lastAnnouncedLevel = i;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(state.GetPushLevel(), 4999);
    EXPECT_EQ(state.lastAnnouncedLevel.load(), 4999);
}

}  // namespace
