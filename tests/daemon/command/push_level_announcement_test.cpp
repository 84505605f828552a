// The push-level word that a silent client of port 19723 is told on its
// 3-second receive time-outs: once per level and session, and when the
// level has changed.
#include "tests/daemon/command/announcement_fixture.h"

namespace {

TEST_F(PushLevelAnnouncementTest, SilentClientHearsTheLevelOnceAfterItsFirstTimeOut) {
    std::string word;
    ASSERT_TRUE(m_client.ReadMessage(word, 10000));
    const uint64_t waited = NowMs() - m_greetedAt;
    // Level 0 in a fresh daemon; it comes with the first receive time-out,
    // not with the greeting.
    EXPECT_EQ(Printable(word), Printable(kWordLevel0));
    EXPECT_GE(waited, 2500u);
    EXPECT_TRUE(m_sandbox.Host().WaitForDebugText(L"推流模式通知: 超清", 5000));
    // The level stays, so the following time-out says nothing.
    EXPECT_EQ(Printable(m_client.ReadFor(4000)), "");
}

TEST_F(PushLevelAnnouncementTest, RejectedStartChangesNoLevelAndIsNotAnnounced) {
    std::string word;
    ASSERT_TRUE(m_client.ReadMessage(word, 10000));
    ASSERT_EQ(Printable(word), Printable(kWordLevel0));
    // Without streamUrl the start is rejected (no reply): its level is not
    // the publish's, so the following time-outs have nothing to announce.
    for (int level : {1, 4, 5, 6}) {
        ASSERT_TRUE(m_client.Send(Message(L"start videoDevice=\"cam\" audioDevice=\"mic\" pushLevel=\"" +
                                          std::to_wstring(level) + L"\"")));
        EXPECT_EQ(Printable(m_client.ReadFor(3500)), "") << "level " << level;
    }
    ASSERT_TRUE(m_client.Send(Message(L"stop")));
    std::string reply;
    ASSERT_TRUE(m_client.ReadMessage(reply, 10000));
    EXPECT_EQ(Printable(reply), Printable(kStopReply));
    EXPECT_EQ(Printable(m_client.ReadFor(3500)), "");
}

TEST_F(PushLevelAnnouncementTest, NewSessionHearsTheLevelAgain) {
    std::string word;
    ASSERT_TRUE(m_client.ReadMessage(word, 10000));
    ASSERT_EQ(Printable(word), Printable(kWordLevel0));
    m_client.Close();
    // Every session start forgets what was announced.
    WireClient next;
    ASSERT_TRUE(next.Connect(kCommandPort));
    std::string greeting;
    ASSERT_TRUE(next.ReadMessage(greeting, 10000));
    EXPECT_EQ(Printable(greeting), Printable(kNoDeviceGreeting));
    ASSERT_TRUE(next.ReadMessage(word, 10000));
    EXPECT_EQ(Printable(word), Printable(kWordLevel0));
}

}  // namespace
