// The daemon's own MD5 against RFC 1321's test suite and against the
// system's MD5 (CryptoAPI), and the signing of the stream URL, both as pure
// functions and through ResignStreamUrl in the host.
#include "daemon/publisher/md5.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/stream_signing.h"
#include "tests/daemon/publisher/publisher_sandbox.h"
#include "tests/daemon/publisher/system_md5.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace {

const char kKey[] = "qa7x_m2_hrt5kw9b_8zn3pfdc0u";

TEST(Md5, MatchesTheTestSuiteOfRfc1321) {
    const struct {
        const char* message;
        const char* digest;
    } suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& entry : suite) EXPECT_EQ(Md5Hex(entry.message), entry.digest) << '"' << entry.message << '"';
}

TEST(Md5, DigestBytesComeInOrderHighDigitFirst) {
    std::array<uint8_t, 16> digest = Md5Digest("abc");
    const uint8_t expected[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                  0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(digest[i], expected[i]) << "byte " << i;
}

TEST(Md5, AgreesWithTheSystemAtEveryPaddingBoundaryAndForAnyBytes) {
    ASSERT_EQ(SystemMd5("abc"), "900150983cd24fb0d6963f7d28e17f72") << "the system's MD5 is unusable here";
    for (size_t length = 0; length <= 200; ++length) {
        std::string message;
        for (size_t i = 0; i < length; ++i) message.push_back(static_cast<char>((i * 37 + length) & 0xff));
        EXPECT_EQ(Md5Hex(message), SystemMd5(message)) << "length " << length;
    }
    std::string big(1000000, 'a');
    EXPECT_EQ(Md5Hex(big), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(StreamSigning, TimeTextIsLowercaseHexWithoutLeadingZeros) {
    EXPECT_EQ(SigningTimeText(0), "0");
    EXPECT_EQ(SigningTimeText(1), "1");
    EXPECT_EQ(SigningTimeText(0xabcdef), "abcdef");
    EXPECT_EQ(SigningTimeText(0x10000000), "10000000");  // July 1978
    EXPECT_EQ(SigningTimeText(0x5f5e1000), "5f5e1000");
    EXPECT_EQ(SigningTimeText(0xffffffffLL), "ffffffff");  // February 2106
    EXPECT_EQ(SigningTimeText(0x100000000LL), "100000000");
}

TEST(StreamSigning, SignedUrlKeepsThePrefixAndRenewsTokenAndTime) {
    const int64_t when = 0x5f5e1000;
    const std::string t = "5f5e1000";
    const struct {
        std::string url;
        std::string name;    // the stream name the token covers
        std::string prefix;  // what stays of the URL
    } cases[] = {
        {"rtmp://push.example.cn:1935/kavo/room1?k=0123456789abcdef0123456789abcdef&t=5f000000", "room1",
         "rtmp://push.example.cn:1935/kavo/room1"},
        // Everything after the old time goes.
        {"rtmp://h/kavo/room1?k=a&t=b&vhost=x.cn", "room1", "rtmp://h/kavo/room1"},
        // No "/kavo/": an empty stream name.
        {"rtmp://h/live/room1?k=a&t=b", "", "rtmp://h/live/room1"},
        // "?" right after "/kavo/" is not where the name ends.
        {"rtmp://h/kavo/?k=a&t=b", "", "rtmp://h/kavo/"},
        {"rtmp://h/kavo/x?y?k=a&t=b", "x", "rtmp://h/kavo/x?y"},
        // Only the first "/kavo/" counts.
        {"rtmp://h/kavo/kavo/s?k=a&t=b", "kavo/s", "rtmp://h/kavo/kavo/s"},
        // Narrow text in code page 936: 直播 is D6 B1 B2 A5.
        {"rtmp://h/kavo/\xd6\xb1\xb2\xa5?k=a&t=b", "\xd6\xb1\xb2\xa5", "rtmp://h/kavo/\xd6\xb1\xb2\xa5"},
        // Without a query the whole URL is kept and the query is added.
        {"rtmp://h/kavo/room1", "", "rtmp://h/kavo/room1"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string token = SystemMd5(kKey + std::string("/kavo/") + c.name + t);
        SignedStreamUrl signedUrl = SignStreamUrl(c.url, when);
        EXPECT_EQ(StreamNameOf(c.url), c.name) << c.url;
        EXPECT_EQ(signedUrl.m_token, token) << c.url;
        EXPECT_EQ(signedUrl.m_url, c.prefix + "?k=" + token + "&t=" + t) << c.url;
    }
}

TEST(StreamSigning, ResigningAgainKeepsPrefixAndNameAndOnlyRenewsTokenAndTime) {
    const std::string url = "rtmp://h/kavo/room1?k=old&t=1&x=2";
    SignedStreamUrl first = SignStreamUrl(url, 0x60000000);
    SignedStreamUrl again = SignStreamUrl(first.m_url, 0x60000000);
    EXPECT_EQ(again.m_url, first.m_url) << "two signings in one second differ";
    SignedStreamUrl later = SignStreamUrl(first.m_url, 0x60000001);
    std::string token = SystemMd5(kKey + std::string("/kavo/room160000001"));
    EXPECT_EQ(later.m_url, "rtmp://h/kavo/room1?k=" + token + "&t=60000001");
}

// The stored URL re-signed for the current time, its token and new URL
// written as debug texts, and stored back.
TEST(ResignStreamUrl, StoresTheUrlSignedForNowAndWritesTokenAndUrl) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    const std::wstring url = L"rtmp://push.example.cn/kavo/直播间?k=0123456789abcdef0123456789abcdef&t=5f000000";
    int64_t before = static_cast<int64_t>(_time64(nullptr));
    DebuggeeProcess* host = sandbox.StartHost({L"url=" + url, L"resign", L"state"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->WaitForExit(30000));
    int64_t after = static_cast<int64_t>(_time64(nullptr));

    std::wstring stored = FromUtf8(HostValue(host->Output(), "url"));
    const std::wstring prefix = L"rtmp://push.example.cn/kavo/直播间?k=";
    ASSERT_EQ(stored.compare(0, prefix.size(), prefix), 0) << ToUtf8(stored);
    size_t timeAt = stored.find(L"&t=");
    ASSERT_NE(timeAt, std::wstring::npos);
    std::wstring token = stored.substr(prefix.size(), timeAt - prefix.size());
    std::wstring timeText = stored.substr(timeAt + 3);
    int64_t when = static_cast<int64_t>(wcstoll(timeText.c_str(), nullptr, 16));
    EXPECT_GE(when, before);
    EXPECT_LE(when, after);
    EXPECT_EQ(timeText, FromUtf8(SigningTimeText(when)));
    // 直播间 in code page 936, as the daemon signs it.
    std::string signing = kKey + std::string("/kavo/\xd6\xb1\xb2\xa5\xbc\xe4") + ToUtf8(timeText);
    EXPECT_EQ(ToUtf8(token), SystemMd5(signing));
    std::vector<std::wstring> expected = {token, stored};
    EXPECT_EQ(LaunchTexts(host->DebugTexts()), expected);
}

// The supervisor re-signs while a "start" stores a new URL: the new URL
// must survive, re-signed or not, never replaced by the old one re-signed.
TEST(ResignStreamUrl, AUrlStoredDuringAReSigningIsNeverLost) {
    PublishState& state = ThePublishState();
    state.SetStreamUrl(L"rtmp://h/kavo/room0?k=0&t=0");
    std::atomic<bool> done{false};
    std::atomic<long> resignings{0};
    std::thread supervisor([&] {
        while (!done) {
            ResignStreamUrl();
            ++resignings;
        }
    });
    int lost = 0;
    std::wstring example;
    for (int i = 1; i <= 1000; ++i) {
        const std::wstring room = L"rtmp://h/kavo/room" + std::to_wstring(i) + L"?k=";
        state.SetStreamUrl(room + L"0&t=0");
        // Once the re-signing under way at the store has finished, whatever
        // it did to the stored URL is there to see.
        const long before = resignings;
        while (resignings == before) std::this_thread::yield();
        const std::wstring seen = state.GetStreamUrl();
        if (seen.compare(0, room.size(), room) != 0) {
            ++lost;
            example = seen;
        }
    }
    done = true;
    supervisor.join();
    EXPECT_EQ(lost, 0) << "a stored URL was replaced by an older one re-signed, e.g. " << ToUtf8(example);
}

}  // namespace
