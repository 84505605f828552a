// What the daemon owns and tells, proven on the chain through a real RTMP
// server: the daemon's end ends everything it started, a lost publish is
// retried with growing pauses and reported with its reason, a set-up
// failure is reported once, and another folder's QvShow.exe is none of ours.
// The status objects are read from a WebSocket session of the daemon.
#include "camera/filter/camera_identity.h"
#include "tests/e2e/publish_chain.h"
#include "tests/e2e/status_session.h"
#include "tests/support/child_process.h"
#include "tests/support/rtmp/component_check.h"
#include "tests/support/rtmp/linux_command.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

namespace {

const std::vector<std::wstring> kOurs = {L"QvShow.exe", L"ffmpeg.exe", L"QvGraph.exe"};
// Nothing listens on port 1 of the loopback: every connection is refused.
const char kRefusingUrl[] = "rtmp://127.0.0.1:1/kavo/room1?k=00112233445566778899aabbccddeeff&t=5f5e1000";

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ChainEnvironment);

PublishChain& Chain() { return *ChainEnvironment::Chain(); }

// Process ids of QvShow.exe whose image lies in `directory` (with backslash).
std::vector<DWORD> EncodersIn(const std::wstring& directory) {
    wchar_t full[MAX_PATH * 4] = {};
    ::GetFullPathNameW((directory + L"QvShow.exe").c_str(), MAX_PATH * 4, full, nullptr);
    std::vector<DWORD> found;
    for (DWORD id : ProcessesNamed(L"QvShow.exe")) {
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        wchar_t path[MAX_PATH * 4] = {};
        DWORD size = MAX_PATH * 4;
        if (process && ::QueryFullProcessImageNameW(process.get(), 0, path, &size) &&
            lstrcmpiW(path, full) == 0)
            found.push_back(id);
    }
    return found;
}

class PublishStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_COMPONENT(ChainEnvironment::Failure());
        ASSERT_TRUE(m_session.Open()) << "no WebSocket session with the daemon: " << m_session.Problem();
    }
    void TearDown() override {
        m_session.Send("stop");
        m_session.WaitForStatus("publish", {"idle"}, 10000);
        m_session.Close();
    }

    RtmpServer& Server() { return Chain().Server(); }

    void Start(const std::string& url, int level = 3) {
        ASSERT_TRUE(m_session.Send(ToUtf8(L"start videoDevice=\"" + std::wstring(kCameraFriendlyName) +
                                          L"\" audioDevice=\"" + kDemoMicrophone + L"\" streamUrl=\"" +
                                          FromUtf8(url) + L"\" pushLevel=\"" + std::to_wstring(level) + L"\"")));
    }

    // Starts a publish to the server and waits until it is live there.
    void StartLive(StatusMessage* live = nullptr, int level = 3) {
        const size_t from = Server().EventCount();
        Start(Chain().RoomUrl(), level);
        ASSERT_TRUE(Server().WaitForEvent(RtmpEvent::kPublish, from, 30000, nullptr, "room1")) << Server().Log();
        ASSERT_TRUE(m_session.WaitForStatus("publish", {"live"}, 30000, live)) << LastSeen(m_session);
    }

    // The ticks of the "starting" objects seen so far.
    std::vector<DWORD> StartTicks() {
        std::vector<DWORD> ticks;
        for (const StatusMessage& m : m_session.Seen())
            if (JsonField(m.json, "type") == "publish" && JsonField(m.json, "state") == "starting")
                ticks.push_back(m.tick);
        return ticks;
    }

    StatusSession m_session;
};

TEST_F(PublishStatusTest, KilledDaemonTakesTheStreamAndEverythingItStartedWithIt) {
    m_session.Send(ToUtf8(L"preview videoDevice=\"" + std::wstring(kDemoWebcam) + L"\" audioDevice=\"" +
                          std::wstring(kDemoMicrophone) + L"\""));
    StartLive();
    ASSERT_FALSE(ProcessesNamed(L"QvGraph.exe").empty()) << "the bridge does not run";
    // A stream that ran a while: Wine may keep the socket of an FFmpeg
    // killed right after its publish began.
    ::Sleep(2500);
    const size_t from = Server().EventCount();
    const DWORD killTick = ::GetTickCount();
    ASSERT_TRUE(Chain().KillDaemon());
    EXPECT_TRUE(WaitUntilGone(kOurs, 3000)) << "QvShow.exe, ffmpeg.exe or QvGraph.exe outlived the daemon";
    const DWORD goneAfter = ::GetTickCount() - killTick;
    RtmpEvent end;
    ASSERT_TRUE(Server().WaitForEvent(RtmpEvent::kDisconnect, from, 10000, &end)) << "the stream never ended";
    printf("encoder gone %lu ms, stream ended %lu ms after the daemon was killed\n", goneAfter,
           end.seenTick - killTick);
    EXPECT_LE(goneAfter, 3000u) << "what the daemon started outlived it";
    // nginx sees the end at once when the killed FFmpeg's socket closes (about
    // 0.2 s here). Wine sometimes keeps that socket open; nothing arrives on
    // it once FFmpeg is gone, and the server's idle drop (5 s) ends the stream.
    EXPECT_LE(end.seenTick - killTick, 6000u) << "the stream outlived the daemon";
    ASSERT_EQ("", Chain().StartDaemon());
    ASSERT_TRUE(m_session.Open()) << m_session.Problem();
}

TEST_F(PublishStatusTest, RefusingServerIsRetriedWithGrowingPausesAndItsReason) {
    Start(kRefusingUrl);
    // The first three retries announce pauses of 1, 2 and 4 s, and the
    // starts after them wait that long: no tight loop, and a back-off the
    // page can count down.
    const DWORD kPauses[] = {1, 2, 4};
    StatusMessage retries[3];
    for (int i = 0; i < 3; ++i) {
        // A retry's record may change more than once; the first of each attempt counts.
        do {
            ASSERT_TRUE(m_session.WaitForStatus("publish", {"retrying"}, 15000, &retries[i])) << LastSeen(m_session);
        } while (JsonField(retries[i].json, "attempt") == std::to_string(i));
        ASSERT_EQ(std::to_string(i + 1), JsonField(retries[i].json, "attempt")) << LastSeen(m_session);
        EXPECT_NE("", JsonField(retries[i].json, "reason")) << retries[i].json;
        EXPECT_EQ(std::to_string(kPauses[i]), JsonField(retries[i].json, "retryIn")) << retries[i].json;
    }
    ASSERT_TRUE(m_session.WaitForStatus("publish", {"starting"}, 10000)) << LastSeen(m_session);
    const std::vector<DWORD> starts = StartTicks();
    ASSERT_EQ(4u, starts.size()) << LastSeen(m_session, 20);
    for (int i = 0; i < 3; ++i)
        EXPECT_GE(starts[i + 1] - retries[i].tick + 250, kPauses[i] * 1000)
            << "start " << i + 2 << " came before its announced pause";
}

TEST_F(PublishStatusTest, ServerThatGoesAndComesBackIsLiveAgainWithinTheBackoff) {
    StartLive();
    ::Sleep(2000);
    Server().Pause();
    StatusMessage retrying;
    ASSERT_TRUE(m_session.WaitForStatus("publish", {"retrying"}, 15000, &retrying)) << LastSeen(m_session);
    ::Sleep(10000);
    const DWORD back = ::GetTickCount();
    ASSERT_EQ("", Server().Resume());
    // The start that is due next: the last pause announced before the return.
    DWORD due = back;
    for (const StatusMessage& m : m_session.Seen()) {
        if (JsonField(m.json, "state") != "retrying") continue;
        due = std::max(due, m.tick + 1000 * static_cast<DWORD>(atoi(JsonField(m.json, "retryIn").c_str())));
    }
    StatusMessage live;
    ASSERT_TRUE(m_session.WaitForStatus("publish", {"live"}, 60000, &live)) << LastSeen(m_session);
    // A start under way when the server came back may still fail and wait
    // one pause more: the pause it announces is part of the bound.
    for (const StatusMessage& m : m_session.Seen()) {
        if (m.tick < back || m.tick > live.tick || JsonField(m.json, "state") != "retrying") continue;
        due = std::max(due, m.tick + 1000 * static_cast<DWORD>(atoi(JsonField(m.json, "retryIn").c_str())));
    }
    printf("live %lu ms after the server came back\n", live.tick - back);
    EXPECT_LE(live.tick, due + 3000) << "live came " << (live.tick - due) << " ms after the due start\n"
                                     << LastSeen(m_session, 10);
}

// A server that hangs (SIGSTOP): FFmpeg blocks once the socket's buffers are
// full and its progress lines stop. Live must not go on: the status says
// stalled with no bitrate, then the watchdog's end is retried with a reason.
TEST_F(PublishStatusTest, HungServerIsStalledThenRetriedWithAReason) {
    // A still picture at a low level makes a few kbit/s, which the socket
    // buffers would take for minutes; noise at 720p fills them in a second.
    Chain().Producer().ShowNoise();
    StartLive(nullptr, 4);
    ::Sleep(2000);
    const std::string frozenStates = Server().Freeze();
    const DWORD frozen = ::GetTickCount();
    printf("nginx after SIGSTOP (pid, state):\n%s", frozenStates.c_str());
    StatusMessage stalled;
    const bool stalledCame = m_session.WaitForStatus("publish", {"stalled", "retrying", "failed"}, 30000, &stalled);
    StatusMessage after;
    const bool afterCame = stalledCame && m_session.WaitForStatus("publish", {"retrying", "failed"}, 40000, &after);
    Server().Thaw();
    Chain().Producer().ShowColour(128, 128, 128);
    ASSERT_TRUE(stalledCame) << LastSeen(m_session);
    ASSERT_EQ("stalled", JsonField(stalled.json, "state")) << LastSeen(m_session);
    EXPECT_EQ("0.0", JsonField(stalled.json, "kbps")) << stalled.json;
    printf("stalled %lu ms after the server froze\n", stalled.tick - frozen);
    // The sockets' buffers take up to about a second of the stream before
    // FFmpeg blocks (its send buffer is bounded to half a second; without
    // that bound, 8 s at 720p); then the 3 s without a frame: 4.3-4.8 s
    // measured here. The bound leaves room for a busy machine and still
    // fails the unbounded buffer's 11-12 s.
    EXPECT_LE(stalled.tick - frozen, 8000u) << "stalled came late";
    ASSERT_TRUE(afterCame) << LastSeen(m_session);
    printf("%s %lu ms after the server froze: %s\n", JsonField(after.json, "state").c_str(), after.tick - frozen,
           JsonField(after.json, "reason").c_str());
    const std::string reason = JsonField(after.json, "reason");
    EXPECT_NE("", reason) << after.json;
    // Not what QvShow.exe said before the stream went live (its encoder probes).
    EXPECT_EQ(std::string::npos, reason.find("probe")) << after.json;
    EXPECT_EQ(std::string::npos, reason.find("Conversion failed")) << after.json;
}

TEST_F(PublishStatusTest, MissingFfmpegFailsAfterOneStart) {
    const std::wstring ffmpeg = Chain().DaemonDirectory() + L"ffmpeg.exe";
    const std::wstring away = ffmpeg + L".away";
    ASSERT_TRUE(::MoveFileW(ffmpeg.c_str(), away.c_str()));
    Start(Chain().RoomUrl());
    StatusMessage failed;
    const bool came = m_session.WaitForStatus("publish", {"failed"}, 15000, &failed);
    std::string ignored;
    m_session.NextText(ignored, 3000);
    ::MoveFileW(away.c_str(), ffmpeg.c_str());
    ASSERT_TRUE(came) << LastSeen(m_session);
    EXPECT_EQ("3", JsonField(failed.json, "code")) << failed.json;
    EXPECT_NE(std::string::npos, JsonField(failed.json, "reason").find("ffmpeg.exe")) << failed.json;
    EXPECT_EQ(1u, StartTicks().size()) << "a set-up failure was retried\n" << LastSeen(m_session);
}

// QvShow.exe gone (an antivirus took it) or broken: no start can help.
TEST_F(PublishStatusTest, MissingOrBrokenEncoderFailsAfterOneStart) {
    const std::wstring encoder = Chain().DaemonDirectory() + L"QvShow.exe";
    const std::wstring away = encoder + L".away";
    ASSERT_TRUE(::MoveFileW(encoder.c_str(), away.c_str()));
    const struct {
        const char* name;
        const char* image;  // written as QvShow.exe; null: none there
        const char* code;
        const char* reasonPart;
    } cases[] = {
        {"missing", nullptr, "2", "not found"},
        {"not a program", "this is no program", "193", "not a valid program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.image) {
            UniqueHandle file(::CreateFileW(encoder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            ASSERT_TRUE(file && ::WriteFile(file.get(), c.image, static_cast<DWORD>(strlen(c.image)), &written, nullptr));
        }
        const size_t startsBefore = StartTicks().size();
        Start(Chain().RoomUrl());
        StatusMessage failed;
        const bool came = m_session.WaitForStatus("publish", {"failed", "retrying"}, 15000, &failed);
        std::string ignored;
        m_session.NextText(ignored, 3000);
        if (came) {
            EXPECT_EQ("failed", JsonField(failed.json, "state")) << LastSeen(m_session);
            EXPECT_EQ(c.code, JsonField(failed.json, "code")) << failed.json;
            EXPECT_NE(std::string::npos, JsonField(failed.json, "reason").find(c.reasonPart)) << failed.json;
            EXPECT_EQ(startsBefore + 1, StartTicks().size()) << "a missing program was retried\n" << LastSeen(m_session);
        }
        m_session.Send("stop");
        m_session.WaitForStatus("publish", {"idle"}, 10000);
        ::DeleteFileW(encoder.c_str());
        if (!came) break;
    }
    ASSERT_TRUE(::MoveFileW(away.c_str(), encoder.c_str()));
}

TEST_F(PublishStatusTest, AnotherFoldersEncoderIsNeverOurs) {
    const std::wstring other = ScratchDirectory(L"other-") + L"QvShow.exe";
    ASSERT_TRUE(::CopyFileW((TestBinDir() + L"stand_in_encoder.exe").c_str(), other.c_str(), FALSE));
    UniqueHandle foreign = StartProgram(other);
    ASSERT_TRUE(foreign);

    StartLive();
    ::Sleep(2500);
    const std::vector<DWORD> ours = EncodersIn(Chain().DaemonDirectory());
    ASSERT_EQ(1u, ours.size());
    // Ours dies; the other folder's must not hide that.
    {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, ours[0]));
        ASSERT_TRUE(process && ::TerminateProcess(process.get(), 1));
    }
    EXPECT_TRUE(m_session.WaitForStatus("publish", {"retrying"}, 10000)) << LastSeen(m_session);
    EXPECT_TRUE(m_session.WaitForStatus("publish", {"live"}, 30000)) << "our encoder was not brought back\n"
                                                                    << LastSeen(m_session);
    m_session.Send("stop");
    EXPECT_TRUE(m_session.WaitForStatus("publish", {"idle"}, 10000));
    EXPECT_TRUE(EncodersIn(Chain().DaemonDirectory()).empty()) << "our encoder survived the stop";
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(foreign.get(), 0)) << "the stop ended another folder's QvShow.exe";
    ::TerminateProcess(foreign.get(), 1);
}

}  // namespace

namespace {

// A server that takes the connection and never says a word.
class SilentServer {
public:
    SilentServer() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof(address);
        if (m_socket == INVALID_SOCKET || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_socket, 4) != 0 || ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer() {
        if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
    }
    int Port() const { return m_port; }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int m_port = 0;
};

TEST_F(PublishStatusTest, SilentServerIsEndedByTheWatchdogAndRetried) {
    SilentServer silent;
    ASSERT_NE(0, silent.Port());
    Start("rtmp://127.0.0.1:" + std::to_string(silent.Port()) + "/kavo/room1?k=00112233445566778899aabbccddeeff&t=1");
    StatusMessage retrying;
    ASSERT_TRUE(m_session.WaitForStatus("publish", {"retrying", "live"}, 40000, &retrying)) << LastSeen(m_session);
    EXPECT_EQ("retrying", JsonField(retrying.json, "state")) << retrying.json;
    EXPECT_NE(std::string::npos, JsonField(retrying.json, "reason").find("no progress")) << retrying.json;
    EXPECT_TRUE(m_session.WaitForStatus("publish", {"starting"}, 5000)) << "not started again\n" << LastSeen(m_session);
}

TEST_F(PublishStatusTest, TargetsThatAreNotRtmpFailAndWriteNothing) {
    const std::wstring probe = ScratchDirectory(L"targets-") + L"probe.flv";
    const std::string targets[] = {ToUtf8(probe), "\\\\127.0.0.1\\qv-share\\probe.flv", "file:" + ToUtf8(probe),
                                   "http://127.0.0.1:1/probe.flv", "-x"};
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        Start(target);
        StatusMessage failed;
        ASSERT_TRUE(m_session.WaitForStatus("publish", {"failed"}, 15000, &failed)) << LastSeen(m_session);
        EXPECT_EQ("2", JsonField(failed.json, "code")) << failed.json;
        m_session.Send("stop");
        ASSERT_TRUE(m_session.WaitForStatus("publish", {"idle"}, 10000));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(probe.c_str())) << "a target was written";
}

}  // namespace
