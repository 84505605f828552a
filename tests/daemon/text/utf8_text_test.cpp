// UTF-8 against UTF-16 and the ANSI code page: the web endpoint's text and
// the encoder's console lines.
#include "daemon/text/utf8_text.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8Text, ValidationFollowsRfc3629) {
    const struct {
        const char* what;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"ASCII", "start pushLevel=\"1\"", true},
        {"Chinese", "\xE6\x91\x84\xE5\x83\x8F\xE5\xA4\xB4", true},
        {"outside the BMP", "\xF0\x9F\x93\xB7", true},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three bytes", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut sequence", "\xE6\x91", false},
        {"lone continuation", "\x80", false},
        {"GBK bytes", "\xC2\xF3\xBF\xCB\xB7\xE7", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.what;
}

TEST(Utf8Text, RoundTripsAndReplacesUnpairedSurrogates) {
    const std::wstring camera = L"\xD83D\xDCF7 摄像头";
    EXPECT_EQ(WideToUtf8(camera), "\xF0\x9F\x93\xB7 \xE6\x91\x84\xE5\x83\x8F\xE5\xA4\xB4");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(camera)), camera);
    const std::string lone = WideToUtf8(std::wstring(L"a\xD83D" L"b"));
    EXPECT_TRUE(IsValidUtf8(lone)) << "an unpaired surrogate must not make invalid UTF-8";
    EXPECT_EQ(lone, "a\xEF\xBF\xBD" "b");
}

TEST(Utf8Text, BytesThatAreNoUtf8AreReadInTheAnsiCodePage) {
    EXPECT_EQ(BytesAsUtf8("frame=  12 fps=10"), "frame=  12 fps=10");
    EXPECT_EQ(BytesAsUtf8("\xE6\x91\x84"), "\xE6\x91\x84");
    // 0xE9 is no UTF-8 on its own; in code page 1252 it is "é", in 936 half a character.
    const std::string converted = BytesAsUtf8("caf\xE9 ok");
    EXPECT_TRUE(IsValidUtf8(converted));
    EXPECT_EQ(converted.substr(0, 3), "caf");
}

}  // namespace
