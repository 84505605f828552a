#include "daemon/command/parse_command.h"
#include "daemon/publisher/publish_state.h"

#include "daemon/text/text_conversion.h"
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A session's receive buffer with held bytes at its front.
struct Buffer {
    char bytes[kReceiveBufferSize] = {};
    int held = 0;

    void Append(const std::string& data) {
        ASSERT_LE(held + data.size(), sizeof(bytes));
        memcpy(bytes + held, data.data(), data.size());
        held += static_cast<int>(data.size());
    }
    std::string Held() const { return std::string(bytes, static_cast<size_t>(held)); }
};

// One client message: a GBK line, CR LF and the client's NUL.
std::string Message(const std::wstring& line) { return WideToNarrow(line) + std::string("\r\n\0", 3); }

struct Parsed {
    bool accepted;
    RecvCmd cmd;
};

// The state stands for the publishing state: a parse never writes it (only
// a dispatch does), so every parse here checks that it is left as it was.
Parsed ParseOne(Buffer& buffer, PublishState& state) {
    const std::wstring video = state.GetVideoDevice(), audio = state.GetAudioDevice(), url = state.GetStreamUrl();
    const int32_t level = state.GetPushLevel();
    Parsed p;
    p.accepted = ParseCommand(buffer.bytes, buffer.held, p.cmd);
    EXPECT_TRUE(state.GetVideoDevice() == video && state.GetAudioDevice() == audio && state.GetStreamUrl() == url &&
                state.GetPushLevel() == level)
        << "the parse wrote the publishing state";
    return p;
}

Parsed ParseLine(const std::wstring& line, PublishState& state) {
    Buffer buffer;
    buffer.Append(Message(line));
    return ParseOne(buffer, state);
}

const std::wstring kFullStart =
    L"start videoDevice=\"USB 摄像头\" audioDevice=\"麦克风 (Realtek)\" "
    L"streamUrl=\"rtmp://live.example/kavo/room1\" pushLevel=\"2\"";

TEST(ParseCommand, FullStartIsAcceptedWithAllFourValuesAndStoresNone) {
    PublishState state;
    Parsed p = ParseLine(kFullStart, state);
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(p.cmd.m_strCmd, L"start");
    EXPECT_EQ(p.cmd.m_videoDevice, L"USB 摄像头");
    EXPECT_EQ(p.cmd.m_audioDevice, L"麦克风 (Realtek)");
    EXPECT_EQ(p.cmd.m_streamUrl, L"rtmp://live.example/kavo/room1");
    EXPECT_EQ(p.cmd.m_pushLevel, 2);
    EXPECT_TRUE(p.cmd.m_pushLevelGiven);
    EXPECT_EQ(state.GetStreamUrl(), L"");
}

TEST(ParseCommand, CommandWordRecognition) {
    const struct {
        const wchar_t* line;
        bool accepted;
        const wchar_t* word;
    } cases[] = {
        {L"stop", true, L"stop"},
        {L"unstoppable", true, L"stop"},
        {L"previous videoDevice=\"v\" audioDevice=\"a\"", true, L"preview"},
        {L"previous", false, L"preview"},
        {L"preview videoDevice=\"cam\" audioDevice=\"mic\"", true, L"preview"},
        // start at the very front wins over stop anywhere.
        {L"start stop videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"u\"", true, L"start"},
        {L" start videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"u\"", false, L""},
        {L" start stop", true, L"stop"},
        {L"Start videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"u\"", false, L""},
        {L"STOP", false, L""},
        {L"", false, L""},
        {L"hello", false, L""},
    };
    for (const auto& c : cases) {
        PublishState state;
        Parsed p = ParseLine(c.line, state);
        EXPECT_EQ(p.accepted, c.accepted) << ToUtf8(c.line);
        EXPECT_EQ(p.cmd.m_strCmd, c.word) << ToUtf8(c.line);
    }
}

TEST(ParseCommand, KeyValues) {
    PublishState state;
    // The first occurrence of a key counts; anything may stand before its quote.
    Parsed p = ParseLine(L"start videoDevice:::\"first\" videoDevice=\"second\" audioDevice \"a\" streamUrl=\"u\"", state);
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(p.cmd.m_videoDevice, L"first");
    EXPECT_EQ(p.cmd.m_audioDevice, L"a");

    // A value without its closing quote runs to the end of the line.
    p = ParseLine(L"start videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"rtmp://x/y z", state);
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(p.cmd.m_streamUrl, L"rtmp://x/y z");

    // An empty value is no value.
    p = ParseLine(L"start videoDevice=\"\" audioDevice=\"a\" streamUrl=\"u\"", state);
    EXPECT_FALSE(p.accepted);

    // Keys are case-sensitive.
    p = ParseLine(L"start VideoDevice=\"v\" audioDevice=\"a\" streamUrl=\"u\"", state);
    EXPECT_FALSE(p.accepted);
    EXPECT_EQ(p.cmd.m_videoDevice, L"");
}

TEST(ParseCommand, VideoDeviceKeepsItsFirst31Units) {
    PublishState state;
    std::wstring forty = L"摄像头" + std::wstring(37, L'x');
    std::wstring longAudio(600, L'm');
    Parsed p = ParseLine(L"start videoDevice=\"" + forty + L"\" audioDevice=\"" + longAudio + L"\" streamUrl=\"u\"", state);
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(p.cmd.m_videoDevice, forty.substr(0, 31));
    EXPECT_EQ(p.cmd.m_audioDevice, longAudio);
}

// A WebSocket message is UTF-16 text of any length: a camera's name is
// taken whole, and a character outside the BMP at unit 31 stays a pair.
TEST(ParseCommand, MessagesKeepTheWholeVideoDevice) {
    const std::wstring emoji = L"\xD83D\xDCF7";
    const std::wstring names[] = {std::wstring(30, L'x') + emoji + L" 摄像头", std::wstring(200, L'c')};
    for (const std::wstring& name : names) {
        RecvCmd cmd;
        EXPECT_TRUE(ParseCommandMessage(L"preview videoDevice=\"" + name + L"\" audioDevice=\"a\"\r\n", cmd));
        EXPECT_EQ(cmd.m_videoDevice, name);
    }
}

TEST(ParseCommand, PushLevelIsAtoiOfTheValue) {
    const struct {
        const wchar_t* value;
        int32_t level;
    } cases[] = {{L"2", 2}, {L"  -1", -1}, {L"+3x", 3}, {L"abc", 0}, {L"", 0}, {L"9", 9}, {L"99999999999", INT32_MAX},
                 {L"-99999999999", INT32_MIN}};
    for (const auto& c : cases) {
        PublishState state;
        state.SetPushLevel(5);
        Parsed p = ParseLine(std::wstring(L"start videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"u\" pushLevel=\"") +
                                 c.value + L"\"",
                             state);
        EXPECT_TRUE(p.accepted);
        EXPECT_EQ(p.cmd.m_pushLevel, c.level) << ToUtf8(c.value);
        EXPECT_TRUE(p.cmd.m_pushLevelGiven) << ToUtf8(c.value);
    }
    PublishState state;
    Parsed p = ParseLine(L"start videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"u\"", state);
    EXPECT_FALSE(p.cmd.m_pushLevelGiven) << "a missing pushLevel leaves the level to the dispatch";
}

// A rejected line must not move a running stream: the supervisor restarts
// from the publishing state, which keeps the last dispatched command.
TEST(ParseCommand, RejectedCommandsStoreNothing) {
    PublishState state;
    state.SetStreamUrl(L"rtmp://owner/kavo/room1");
    Parsed p = ParseLine(L"start videoDevice=\"cam\" streamUrl=\"rtmp://elsewhere/x\" pushLevel=\"1\"", state);
    EXPECT_FALSE(p.accepted);
    EXPECT_EQ(p.cmd.m_streamUrl, L"rtmp://elsewhere/x");
    EXPECT_EQ(state.GetStreamUrl(), L"rtmp://owner/kavo/room1");

    p = ParseLine(L"preview audioDevice=\"mic\" streamUrl=\"rtmp://other\" pushLevel=\"3\"", state);
    EXPECT_FALSE(p.accepted);
    EXPECT_EQ(p.cmd.m_audioDevice, L"mic");
    EXPECT_EQ(p.cmd.m_streamUrl, L"") << "preview does not read streamUrl";
    EXPECT_FALSE(p.cmd.m_pushLevelGiven) << "preview does not read pushLevel";
}

TEST(ParseCommand, StopStoresNothing) {
    PublishState state;
    state.SetVideoDevice(L"cam");
    Parsed p = ParseLine(L"stop videoDevice=\"other\" audioDevice=\"mic\" streamUrl=\"u\" pushLevel=\"2\"", state);
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(p.cmd.m_videoDevice, L"");
    EXPECT_EQ(p.cmd.m_audioDevice, L"");
    EXPECT_EQ(state.GetVideoDevice(), L"cam");
    EXPECT_EQ(state.GetAudioDevice(), L"");
    EXPECT_EQ(state.GetPushLevel(), 0);
}

TEST(ParseCommand, FramingTakesOneMessageAndItsNul) {
    PublishState state;
    Buffer buffer;
    buffer.Append(Message(L"stop") + Message(L"preview videoDevice=\"v\" audioDevice=\"a\"") + "part");
    Parsed first = ParseOne(buffer, state);
    EXPECT_TRUE(first.accepted);
    EXPECT_EQ(buffer.Held(), Message(L"preview videoDevice=\"v\" audioDevice=\"a\"") + "part");
    Parsed second = ParseOne(buffer, state);
    EXPECT_TRUE(second.accepted);
    EXPECT_EQ(second.cmd.m_strCmd, L"preview");
    EXPECT_EQ(buffer.Held(), "part");

    // No CR LF held: nothing taken, buffer unchanged.
    Parsed none = ParseOne(buffer, state);
    EXPECT_FALSE(none.accepted);
    EXPECT_EQ(buffer.Held(), "part");
    buffer.Append(std::string("\r"));
    EXPECT_FALSE(ParseOne(buffer, state).accepted);
    EXPECT_EQ(buffer.Held(), "part\r");
}

TEST(ParseCommand, CrLfAsTheLastHeldBytesTakesNoMoreThanHeld) {
    PublishState state;
    Buffer buffer;
    buffer.Append("stop\r\n");
    memset(buffer.bytes + buffer.held, 'Z', sizeof(buffer.bytes) - buffer.held);
    Parsed p = ParseOne(buffer, state);
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(buffer.held, 0);
    // The late NUL is dropped in front of the next message.
    buffer.Append(std::string("\0", 1) + Message(L"stop"));
    EXPECT_TRUE(ParseOne(buffer, state).accepted);
    EXPECT_EQ(buffer.held, 0);
}

TEST(ParseCommand, BadInputGetsADefinedAnswer) {
    PublishState state;
    {
        // A line that is only CR LF is rejected and taken.
        Buffer buffer;
        buffer.Append(std::string("\r\n\0stop\r\n\0", 10));
        EXPECT_FALSE(ParseOne(buffer, state).accepted);
        EXPECT_EQ(buffer.Held(), Message(L"stop"));
        EXPECT_TRUE(ParseOne(buffer, state).accepted);
    }
    {
        // A NUL inside a line ends the line's text: what follows is not read.
        Buffer buffer;
        buffer.Append(std::string("hello\0stop\r\n\0", 13));
        EXPECT_FALSE(ParseOne(buffer, state).accepted);
        EXPECT_EQ(buffer.held, 0);
    }
    {
        // Invalid GBK does not prevent recognition of what is readable.
        Buffer buffer;
        buffer.Append(std::string("preview videoDevice=\"\xFF\xB3\" audioDevice=\"\x81\"\r\n\0", 43));
        Parsed p = ParseOne(buffer, state);
        EXPECT_TRUE(p.accepted);
        EXPECT_EQ(p.cmd.m_videoDevice, std::wstring(2, wchar_t(0xFFFD)));
        EXPECT_EQ(buffer.held, 0);
    }
    {
        // The longest line a 1024-byte buffer can hold with its CR LF and NUL.
        Buffer buffer;
        const std::string head = "start videoDevice=\"v\" audioDevice=\"a\" streamUrl=\"";
        const size_t urlLength = 1021 - head.size() - 1;
        std::string line = head + std::string(urlLength, 'u') + "\"";
        ASSERT_EQ(line.size(), 1021u);
        buffer.Append(line + std::string("\r\n\0", 3));
        ASSERT_EQ(buffer.held, kReceiveBufferSize);
        Parsed p = ParseOne(buffer, state);
        EXPECT_TRUE(p.accepted);
        EXPECT_EQ(p.cmd.m_streamUrl, std::wstring(urlLength, L'u'));
        EXPECT_EQ(buffer.held, 0);
    }
    {
        // A full buffer without CR LF is left alone (the session ends it).
        Buffer buffer;
        buffer.Append(std::string(kReceiveBufferSize, 'x'));
        EXPECT_FALSE(ParseOne(buffer, state).accepted);
        EXPECT_EQ(buffer.held, kReceiveBufferSize);
        EXPECT_EQ(buffer.Held(), std::string(kReceiveBufferSize, 'x'));
    }
}

std::wstring Hex(const std::string& bytes) {
    std::wstring hex;
    const wchar_t* digits = L"0123456789abcdef";
    for (unsigned char b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

TEST(ParseCommand, PrintsTheDevicesInCodePage936) {
    std::wstring driver = QuoteArgument(TestBinDir() + L"parse_command_driver.exe");
    ProgramResult start = RunProgram(driver + L" " + Hex(Message(L"start videoDevice=\"Kavo直播插件\" audioDevice=\"超清\" streamUrl=\"u\"")));
    EXPECT_EQ(start.exitCode, 1u);
    EXPECT_EQ(start.output,
              "m_videoDevice=Kavo\xD6\xB1\xB2\xA5\xB2\xE5\xBC\xFE$$\r\n\r\n"
              "m_audioDevice=\xB3\xAC\xC7\xE5$$$\r\n\r\n");

    ProgramResult stop = RunProgram(driver + L" " + Hex(Message(L"stop videoDevice=\"v\"")));
    EXPECT_EQ(stop.exitCode, 1u);
    EXPECT_EQ(stop.output, "");

    ProgramResult rejected = RunProgram(driver + L" " + Hex(Message(L"preview audioDevice=\"%s%n\"")));
    EXPECT_EQ(rejected.exitCode, 0u);
    EXPECT_EQ(rejected.output, "m_audioDevice=%s%n$$$\r\n\r\n");
}

}  // namespace
