#include "daemon/text/text_conversion.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(TextConversion, ChineseDeviceNamesRoundTripThroughGbk) {
    struct Case {
        std::wstring wide;
        std::string gbk;
    } cases[] = {
        {L"Kavo直播插件", "Kavo\xD6\xB1\xB2\xA5\xB2\xE5\xBC\xFE"},
        {L"超清", "\xB3\xAC\xC7\xE5"},
        {L"麦克风 (Realtek)", "\xC2\xF3\xBF\xCB\xB7\xE7 (Realtek)"},
        {L"", ""},
        {L"plain ascii $1.0.0", "plain ascii $1.0.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideToNarrow(c.wide), c.gbk);
        EXPECT_EQ(NarrowToWide(c.gbk), c.wide);
    }
}

TEST(TextConversion, ResultsAreCutAtTheFirstNul) {
    EXPECT_EQ(WideToNarrow(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(NarrowToWide(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(NarrowToWide(std::string("\0x", 2)), L"");
}

TEST(TextConversion, UnrepresentableCharactersBecomeQuestionMarks) {
    // Hangul, an emoji (surrogate pair) and a lone surrogate have no GBK form.
    EXPECT_EQ(WideToNarrow(L"a\xD55C" L"b"), "a?b");
    std::string emoji = WideToNarrow(L"x\xD83D\xDE00y");
    EXPECT_EQ(emoji.front(), 'x');
    EXPECT_EQ(emoji.back(), 'y');
    EXPECT_EQ(emoji.find_first_not_of("xy?"), std::string::npos);
    EXPECT_EQ(WideToNarrow(L"\xD800z"), "?z");
}

TEST(TextConversion, InvalidGbkBytesBecomeReplacementCharacters) {
    const wchar_t r = 0xFFFD;
    // A lead byte at the end, a lead byte before an invalid trail, 0xFF.
    EXPECT_EQ(NarrowToWide("ab\xB3"), std::wstring(L"ab") + r);
    EXPECT_EQ(NarrowToWide("\xB3\x30x"), std::wstring(1, r) + L"0x");
    EXPECT_EQ(NarrowToWide("\xFF" "a"), std::wstring(1, r) + L"a");
    // A lead byte before a NUL must not swallow the NUL.
    EXPECT_EQ(NarrowToWide(std::string("\xB3\0zz", 4)), std::wstring(1, r));
    // Valid text around the damage survives.
    EXPECT_EQ(NarrowToWide("\xB3\xAC\xFF\xC7\xE5"), std::wstring(L"超") + r + L"清");
}

TEST(TextConversion, OutputNeverExceedsItsRoom) {
    // Every possible byte pair: the result has at most one unit per byte.
    std::string all;
    for (int a = 1; a < 256; ++a)
        for (int b = 1; b < 256; ++b) {
            all.push_back(static_cast<char>(a));
            all.push_back(static_cast<char>(b));
        }
    std::wstring wide = NarrowToWide(all);
    EXPECT_LE(wide.size(), all.size());
    EXPECT_LE(WideToNarrow(wide).size(), 2 * wide.size());
    // Every UTF-16 unit value converts to at most two bytes.
    std::wstring units;
    for (int u = 1; u < 0x10000; ++u) units.push_back(static_cast<wchar_t>(u));
    EXPECT_LE(WideToNarrow(units).size(), 2 * units.size());
}

TEST(TextConversion, SafeFromManyThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                std::wstring name = L"麦克风" + std::to_wstring(t * 10000 + i);
                if (NarrowToWide(WideToNarrow(name)) != name) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
