#include "daemon/publisher/publish_state.h"

#include <gtest/gtest.h>

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

TEST(PublishState, UsableBeforeAndAfterTheLockIsInitialised) {
    PublishState state;
    state.SetStreamUrl(L"rtmp://before");
    state.InitLock();
    state.InitLock();
    EXPECT_EQ(state.GetStreamUrl(), L"rtmp://before");
}

TEST(PublishState, StoresValuesUnchanged) {
    PublishState state;
    state.SetVideoDevice(L"USB 摄像头");
    state.SetAudioDevice(L"麦克风");
    state.SetStreamUrl(L"rtmp://host/kavo/s?k=1&t=2");
    EXPECT_EQ(state.GetVideoDevice(), L"USB 摄像头");
    EXPECT_EQ(state.GetAudioDevice(), L"麦克风");
    EXPECT_EQ(state.GetStreamUrl(), L"rtmp://host/kavo/s?k=1&t=2");
    for (int level : {-1, 7, 3, 0}) {
        state.SetPushLevel(level);
        EXPECT_EQ(state.GetPushLevel(), level);
    }
}

TEST(PublishState, LevelsOutsideZeroToThreeActAsThree) {
    const struct {
        int32_t level, effective;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {-1, 3}, {4, 3}, {7, 3}, {INT32_MIN, 3}, {INT32_MAX, 3}};
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
