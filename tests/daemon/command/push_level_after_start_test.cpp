// After every "start" the next receive time-out of the session tells the
// client the word of the level that start set.
#include "tests/daemon/command/announcement_fixture.h"

#include <cwchar>

namespace {

TEST_F(PushLevelAnnouncementTest, EveryStartIsFollowedByTheWordOfItsLevel) {
    std::string word;
    ASSERT_TRUE(m_client.ReadMessage(word, 10000));
    ASSERT_EQ(Printable(word), Printable(kWordLevel0));
    const struct {
        const wchar_t* pushLevel;
        const std::string& word;
    } starts[] = {
        {L"2", kWordLevel2},
        {L"1", kWordLevel1},
        {L"3", kWordLevel3},
        // Every other value is the fastest preset too, and a start announces
        // again even when the word stays the same.
        {L"9", kWordLevel3},
        {L"-2", kWordLevel3},
    };
    for (const auto& start : starts) {
        SCOPED_TRACE(std::string(start.pushLevel, start.pushLevel + wcslen(start.pushLevel)));
        ASSERT_TRUE(m_client.Send(Message(StartLine(start.pushLevel))));
        std::string reply;
        ASSERT_TRUE(m_client.ReadMessage(reply, 10000));
        EXPECT_EQ(Printable(reply), Printable(kStartReply));
        const uint64_t repliedAt = NowMs();
        ASSERT_TRUE(m_client.ReadMessage(word, 10000));
        EXPECT_EQ(Printable(word), Printable(start.word));
        EXPECT_GE(NowMs() - repliedAt, 2500u);
    }
    // Level -1 is also what "nothing announced yet" is stored as: the
    // time-out after a start with it finds nothing changed.
    ASSERT_TRUE(m_client.Send(Message(StartLine(L"-1"))));
    std::string reply;
    ASSERT_TRUE(m_client.ReadMessage(reply, 10000));
    EXPECT_EQ(Printable(reply), Printable(kStartReply));
    EXPECT_EQ(Printable(m_client.ReadFor(4000)), "");
}

}  // namespace
