// The shared frame record of the built module: its section in the file, the
// write through TranslateData_buf, the bounds refusal, writes from other
// processes, the guard as other processes hold it or die holding it, and
// readers that never see a frame half written while two producer processes
// write at full speed.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "camera/filter/frame_exchange.h"
#include "common/unique_handle.h"
#include "camera/filter/camera_identity.h"
#include "tests/camera/module/camera_module.h"
#include "tests/camera/module/pe_file.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kSharedSectionSize = 1228812;
constexpr DWORD kSharedSectionCharacteristics = 0xD0000040;
constexpr LONG kFullFrame = 921600;

std::wstring ProducerPath() { return TestBinDir() + L"test_frame_producer.exe"; }

std::vector<BYTE> RampFrame(size_t size) {
    std::vector<BYTE> frame(size);
    for (size_t i = 0; i < size; ++i) frame[i] = static_cast<BYTE>((i + i / 1920) % 251);
    return frame;
}

bool Uniform(const BYTE* data, LONG length) {
    return length <= 1 || std::memcmp(data, data + 1, static_cast<size_t>(length) - 1) == 0;
}

// Run as "frame_exchange_test.exe --guard-helper <mode> <held event>
// <release event>", this program is another process working on the loaded
// module's guard, and ends before any test runs:
//   lock        takes the writer lock, signals, waits for release, lets go
//   copy        the same, but with a change under way (the first half of a
//               frame of 0x77 written) until release, then the rest
//   lock-exit   takes the writer lock, signals, ends without letting go
//   copy-exit   writes half a frame of 0x77 in a change and ends in it
enum GuardHelperExit : UINT { kHelperDone = 0, kHelperNoModule = 3, kHelperNoEvents = 4, kHelperNoLock = 5,
                              kHelperBadMode = 6 };

UINT RunGuardHelper(const std::wstring& mode, const std::wstring& heldName, const std::wstring& releaseName) {
    CameraModule module;
    auto* record = reinterpret_cast<FrameExchange*>(LoadedSectionData(module.get(), ".zrcamer"));
    auto* guard = reinterpret_cast<FrameExchangeGuard*>(LoadedSectionData(module.get(), ".zrguard"));
    if (!record || !guard) return kHelperNoModule;
    UniqueHandle held(::OpenEventW(EVENT_MODIFY_STATE, FALSE, heldName.c_str()));
    UniqueHandle release(::OpenEventW(SYNCHRONIZE, FALSE, releaseName.c_str()));
    if (!held || !release) return kHelperNoEvents;
    const bool copy = mode == L"copy" || mode == L"copy-exit";
    const bool exits = mode == L"lock-exit" || mode == L"copy-exit";
    if (!copy && !exits && mode != L"lock") return kHelperBadMode;

    CFrameWriterLock lock(*guard, 5000);
    if (!lock.Held()) return kHelperNoLock;
    if (copy) {
        lock.BeginChange();
        record->hasFrame = 1;
        record->writeTick = ::GetTickCount();
        record->frameLength = kFullFrame;
        std::memset(record->frameData, 0x77, kFullFrame / 2);
    }
    ::SetEvent(held.get());
    // Ending here runs no destructor: the lock stays taken, the change open.
    if (exits) ::ExitProcess(kHelperDone);
    ::WaitForSingleObject(release.get(), 20000);
    if (copy) {
        std::memset(record->frameData + kFullFrame / 2, 0x77, kFullFrame / 2);
        record->writeTick = ::GetTickCount();  // fresh when it is done
        lock.EndChange();
    }
    return kHelperDone;
}

UINT GuardHelperIfAsked() {
    const std::wstring line = ::GetCommandLineW();
    const std::wstring flag = L"--guard-helper ";
    const size_t at = line.find(flag);
    if (at == std::wstring::npos) return 0;
    std::vector<std::wstring> words;
    size_t i = at + flag.size();
    while (i < line.size()) {
        size_t end = line.find(L' ', i);
        if (end == std::wstring::npos) end = line.size();
        if (end > i) words.push_back(line.substr(i, end - i));
        i = end + 1;
    }
    ::ExitProcess(words.size() == 3 ? RunGuardHelper(words[0], words[1], words[2]) : kHelperBadMode);
}

[[maybe_unused]] const UINT g_guardHelper = GuardHelperIfAsked();

// The parent's side: runs the helper, waits until it holds the lock.
class GuardHelper {
public:
    explicit GuardHelper(const std::wstring& mode) {
        static LONG count = 0;
        const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::InterlockedIncrement(&count));
        const std::wstring heldName = L"qv-guard-held-" + tag, releaseName = L"qv-guard-release-" + tag;
        m_held.reset(::CreateEventW(nullptr, TRUE, FALSE, heldName.c_str()));
        m_release.reset(::CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str()));
        const std::wstring command = QuoteArgument(TestBinDir() + L"frame_exchange_test.exe") + L" --guard-helper " +
                                     mode + L" " + heldName + L" " + releaseName;
        m_thread = std::thread([this, command] { m_result = RunProgram(command, 30000); });
    }
    ~GuardHelper() { Finish(); }

    bool WaitHeld() { return m_held && ::WaitForSingleObject(m_held.get(), 15000) == WAIT_OBJECT_0; }
    // Lets go (or waits for the end of a helper that ends by itself).
    const ProgramResult& Finish() {
        if (m_release) ::SetEvent(m_release.get());
        if (m_thread.joinable()) m_thread.join();
        return m_result;
    }

private:
    UniqueHandle m_held, m_release;
    std::thread m_thread;
    ProgramResult m_result;
};

TEST(FrameExchangeSection, ModuleFileCarriesTheRecordsSharedSectionAndOneForItsGuard) {
    PeFile pe = ReadPeFile(CameraModulePath());
    ASSERT_TRUE(pe.valid);
    int records = 0, guards = 0;
    for (const PeSection& section : pe.sections) {
        if (section.name == ".zrcamer") {
            ++records;
            EXPECT_EQ(section.virtualSize, kSharedSectionSize);
            EXPECT_EQ(section.characteristics, kSharedSectionCharacteristics);
        } else if (section.name == ".zrguard") {
            ++guards;
            EXPECT_EQ(section.virtualSize, sizeof(FrameExchangeGuard));
            EXPECT_EQ(section.characteristics, kSharedSectionCharacteristics);
            EXPECT_EQ(section.virtualAddress % 8, 0u) << "the lock word is used with 64-bit interlocked calls";
        }
    }
    EXPECT_EQ(records, 1);
    EXPECT_EQ(guards, 1);
    EXPECT_EQ(sizeof(FrameExchange), kSharedSectionSize);
}

TEST(FrameExchangeFreshness, StaleAfterMoreThanTwoSecondsAcrossTheTickWrap) {
    struct Case {
        DWORD writeTick, now;
        bool stale;
    } cases[] = {
        {1000, 1000, false},
        {1000, 2000, false},
        {1000, 3000, false},  // exactly 2,000 ms: still fresh
        {1000, 3001, true},
        {0xFFFFFF00u, 0x00000100u, false},  // 512 ms across the wrap
        {0xFFFFFF00u, 0x000006D0u, false},  // 2,000 ms across the wrap
        {0xFFFFFF00u, 0x000006D1u, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsFrameStale(c.now, c.writeTick), c.stale) << c.writeTick << " read at " << c.now;
}

// The write a benchmark points at a record and an exchange of its own:
// only a whole picture is copied into the exchange, as this image's copy,
// and nothing reaches an exchange it was not given.
TEST(RecordAndExchangeWrite, WholePicturesAloneAreCopiedIntoTheGivenExchange) {
    const std::wstring name = L"Local\\QvRecordAndExchangeTest" + std::to_wstring(::GetCurrentProcessId());
    CNamedFrameExchange exchange;
    ASSERT_EQ(S_OK, exchange.Open(name.c_str()));
    auto record = std::make_unique<FrameExchange>();
    FrameExchangeGuard guard = {};
    const std::vector<BYTE> picture = RampFrame(kFullFrame);
    struct Case {
        const char* what;
        LONG length;
        bool toExchange;
        HRESULT result;
        bool copied;
    } cases[] = {
        {"a part of a picture", 1000, true, S_OK, false},
        {"too long", kFrameCapacity + 1, true, E_INVALIDARG, false},
        {"a whole picture, no exchange given", kFullFrame, false, S_OK, false},
        {"a whole picture", kFullFrame, true, S_OK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DWORD before = exchange.Header()->frameCount;
        EXPECT_EQ(c.result, WriteRecordAndExchange(*record, guard, c.toExchange ? &exchange : nullptr, picture.data(),
                                                   c.length));
        if (c.result == S_OK) {
            EXPECT_EQ(c.length, record->frameLength);
        }
        EXPECT_EQ(before + (c.copied ? 1 : 0), exchange.Header()->frameCount);
    }
    NamedFrameInfo info = {};
    std::vector<BYTE> read(kFullFrame);
    ASSERT_EQ(FrameTake::Injected, exchange.ReadLatest(&info, read.data(), read.size()));
    EXPECT_EQ(640, info.width);
    EXPECT_EQ(480, info.height);
    EXPECT_EQ(NamedFrameFormat::RGB24, info.format);
    EXPECT_EQ(CameraImageId(), info.copiedFromImage);
    EXPECT_EQ(picture, read);
}

class ModuleRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_) << "LoadLibrary failed: " << ::GetLastError();
        DWORD size = 0;
        record_ = reinterpret_cast<FrameExchange*>(LoadedSectionData(module_.get(), ".zrcamer", &size));
        ASSERT_NE(record_, nullptr);
        ASSERT_EQ(size, kSharedSectionSize);
        guard_ = reinterpret_cast<FrameExchangeGuard*>(LoadedSectionData(module_.get(), ".zrguard"));
        ASSERT_NE(guard_, nullptr);
        ASSERT_EQ(module_.CreateCamera(CLSID_VirtualCamera, IID_TranslateData_buf,
                                       reinterpret_cast<void**>(sink_.GetAddressOf())),
                  S_OK);
    }

    CameraModule module_;
    // Writes a whole frame of one value through the module's interface.
    void WriteUniform(BYTE value) {
        std::vector<BYTE> frame(kFullFrame, value);
        ASSERT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK);
    }
    // A take that finds a fresh frame, whole, of this one value.
    void ExpectUniformTake(BYTE value) {
        BYTE first = 0;
        bool uniform = false;
        EXPECT_EQ(Take(&first, &uniform), FrameTake::Injected);
        EXPECT_TRUE(uniform) << "the frame taken whole";
        EXPECT_EQ(first, value);
    }
    // Take the latest frame the way the pin does; true when it was taken
    // and uniform, with its first byte.
    FrameTake Take(BYTE* first = nullptr, bool* uniform = nullptr) {
        return TakeFreshFrame(*record_, *guard_, [&](const BYTE* data, LONG length) {
            if (first) *first = data[0];
            if (uniform) *uniform = Uniform(data, length);
        });
    }

    FrameExchange* record_ = nullptr;  // in the module's image
    FrameExchangeGuard* guard_ = nullptr;
    ComPtr<TranslateData_buf> sink_;
};

TEST_F(ModuleRecordTest, WriteStoresFlagTickLengthAndBytes) {
    std::vector<BYTE> frame = RampFrame(kFullFrame);
    DWORD before = ::GetTickCount();
    ASSERT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK);
    DWORD after = ::GetTickCount();
    EXPECT_EQ(record_->hasFrame, 1);
    EXPECT_LE(record_->writeTick - before, after - before);
    EXPECT_EQ(record_->frameLength, kFullFrame);
    EXPECT_EQ(std::memcmp(record_->frameData, frame.data(), kFullFrame), 0);

    // Zero bytes: flag, tick and length change, the bytes stay.
    record_->hasFrame = 0;
    ASSERT_EQ(sink_->WriteFrame(nullptr, 0), S_OK);
    EXPECT_EQ(record_->hasFrame, 1);
    EXPECT_EQ(record_->frameLength, 0);
    EXPECT_EQ(std::memcmp(record_->frameData, frame.data(), kFullFrame), 0);

    // The whole capacity is a valid write.
    std::vector<BYTE> full(kFrameCapacity, 0x3C);
    ASSERT_EQ(sink_->WriteFrame(full.data(), kFrameCapacity), S_OK);
    EXPECT_EQ(record_->frameLength, kFrameCapacity);
    EXPECT_TRUE(Uniform(record_->frameData, kFrameCapacity));
    EXPECT_EQ(record_->frameData[kFrameCapacity - 1], 0x3C);
}

TEST_F(ModuleRecordTest, WritesOutsideTheBoundsAreRefusedAndChangeNothing) {
    std::vector<BYTE> frame = RampFrame(kFullFrame);
    ASSERT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK);
    record_->hasFrame = 0;  // a refused write must not set it either
    auto snapshot = std::make_unique<FrameExchange>();
    std::memcpy(snapshot.get(), record_, sizeof(FrameExchange));
    ::Sleep(20);  // a wrongly taken tick would differ

    std::vector<BYTE> other(kFrameCapacity + 16, 0xEE);
    struct Case {
        const char* what;
        const BYTE* data;
        LONG length;
    } cases[] = {
        {"length -1", other.data(), -1},
        {"most negative length", other.data(), INT32_MIN},
        {"one byte over the capacity", other.data(), kFrameCapacity + 1},
        {"largest length", other.data(), INT32_MAX},
        {"null data, one byte", nullptr, 1},
        {"null data, full frame", nullptr, kFullFrame},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sink_->WriteFrame(c.data, c.length), E_INVALIDARG) << c.what;
        EXPECT_EQ(std::memcmp(snapshot.get(), record_, sizeof(FrameExchange)), 0) << c.what << " changed the record";
    }
}

TEST_F(ModuleRecordTest, FrameWrittenByAnotherProcessIsHere) {
    std::memset(record_->frameData, 0, kFullFrame);
    record_->hasFrame = 0;
    DWORD before = ::GetTickCount();
    ProgramResult result = RunProgram(QuoteArgument(ProducerPath()) + L" --pattern ramp");
    ASSERT_TRUE(result.started);
    ASSERT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_EQ(record_->hasFrame, 1);
    EXPECT_EQ(record_->frameLength, kFullFrame);
    EXPECT_LE(record_->writeTick - before, ::GetTickCount() - before) << "tick of the other process's write";
    std::vector<BYTE> ramp = RampFrame(kFullFrame);
    EXPECT_EQ(std::memcmp(record_->frameData, ramp.data(), kFullFrame), 0);

    result = RunProgram(QuoteArgument(ProducerPath()) + L" --pattern bgr:10,20,30 --length 1920");
    ASSERT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_EQ(record_->frameLength, 1920);
    const BYTE pixel[3] = {10, 20, 30};
    EXPECT_EQ(std::memcmp(record_->frameData, pixel, 3), 0);
    EXPECT_EQ(std::memcmp(record_->frameData + 1917, pixel, 3), 0);
    EXPECT_EQ(std::memcmp(record_->frameData + 1920, ramp.data() + 1920, kFullFrame - 1920), 0)
        << "a short write leaves the rest of the buffer";
}

TEST_F(ModuleRecordTest, RefusedWriteFromAnotherProcessReportsAndChangesNothing) {
    std::vector<BYTE> frame = RampFrame(kFullFrame);
    ASSERT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK);
    auto snapshot = std::make_unique<FrameExchange>();
    std::memcpy(snapshot.get(), record_, sizeof(FrameExchange));

    ProgramResult result = RunProgram(QuoteArgument(ProducerPath()) + L" --length 1228801 --pattern fill:7");
    EXPECT_EQ(result.exitCode, 2u) << result.output;
    EXPECT_NE(result.output.find("last=0x80070057"), std::string::npos) << result.output;
    result = RunProgram(QuoteArgument(ProducerPath()) + L" --null-data --length 100");
    EXPECT_EQ(result.exitCode, 2u) << result.output;
    EXPECT_EQ(std::memcmp(snapshot.get(), record_, sizeof(FrameExchange)), 0);
}

// The writer lock as another living process holds it: a writer that cannot
// have it gives up without writing; readers are not held up by it, and a
// stale frame is left for the holder rather than cleared under it.
TEST_F(ModuleRecordTest, WriterLockHeldByAnotherProcessFailsWritesButNotReads) {
    ASSERT_NO_FATAL_FAILURE(WriteUniform(0x21));

    GuardHelper holder(L"lock");
    ASSERT_TRUE(holder.WaitHeld()) << holder.Finish().output;
    EXPECT_NE(guard_->writer, 0);
    ExpectUniformTake(0x21);
    record_->writeTick = ::GetTickCount() - 5000;
    EXPECT_EQ(Take(), FrameTake::Standby);
    EXPECT_EQ(record_->hasFrame, 1) << "cleared while a writer held the lock";

    auto snapshot = std::make_unique<FrameExchange>();
    std::memcpy(snapshot.get(), record_, sizeof(FrameExchange));
    std::vector<BYTE> other(kFullFrame, 0x99);
    const DWORD asked = ::GetTickCount();
    EXPECT_EQ(sink_->WriteFrame(other.data(), kFullFrame), HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    // How long exactly is a figure for the benchmark; here only that it
    // waited rather than gave up at once.
    EXPECT_GE(::GetTickCount() - asked, kWriterLockTimeoutMs / 2) << "gave up before its time";
    EXPECT_EQ(std::memcmp(snapshot.get(), record_, sizeof(FrameExchange)), 0);

    EXPECT_EQ(holder.Finish().exitCode, 0u) << holder.Finish().output;
    EXPECT_EQ(guard_->writer, 0);
    EXPECT_EQ(Take(), FrameTake::Standby);
    EXPECT_EQ(record_->hasFrame, 0) << "a stale frame kept its flag";
    EXPECT_EQ(sink_->WriteFrame(other.data(), kFullFrame), S_OK) << "the lock is free again";
    ExpectUniformTake(0x99);
}

// A writer of another process stuck in its copy: readers give up as busy
// after their wait, and take its frame once it is complete.
TEST_F(ModuleRecordTest, ChangeUnderWayInAnotherProcessMakesReadsBusyUntilItEnds) {
    ASSERT_NO_FATAL_FAILURE(WriteUniform(0x21));

    GuardHelper writer(L"copy");
    ASSERT_TRUE(writer.WaitHeld()) << writer.Finish().output;
    EXPECT_EQ(guard_->sequence & 1, 1);
    const DWORD asked = ::GetTickCount();
    EXPECT_EQ(Take(), FrameTake::Busy);
    const DWORD waited = ::GetTickCount() - asked;
    EXPECT_GE(waited, kReaderLockTimeoutMs / 2) << "gave up before waiting";
    EXPECT_LT(waited, 5000u) << "a reader must not wait for the writer to finish";
    const std::vector<BYTE> frame(kFullFrame, 0x22);
    EXPECT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), HRESULT_FROM_WIN32(ERROR_TIMEOUT));

    EXPECT_EQ(writer.Finish().exitCode, 0u) << writer.Finish().output;
    EXPECT_EQ(guard_->sequence & 1, 0);
    ExpectUniformTake(0x77);  // the other process's frame
}

// A producer that dies holding the lock, between two writes, does not lock
// the record for good; its last frame stays readable meanwhile.
TEST_F(ModuleRecordTest, WriterLockLeftByAProcessThatEndedIsTakenOver) {
    ASSERT_NO_FATAL_FAILURE(WriteUniform(0x21));
    GuardHelper holder(L"lock-exit");
    ASSERT_TRUE(holder.WaitHeld()) << holder.Finish().output;
    EXPECT_EQ(holder.Finish().exitCode, 0u) << holder.Finish().output;
    ASSERT_NE(guard_->writer, 0) << "the helper let go of the lock";

    ExpectUniformTake(0x21);
    ASSERT_NO_FATAL_FAILURE(WriteUniform(0x42));
    EXPECT_EQ(guard_->writer, 0);
    ExpectUniformTake(0x42);
}

// A holder's process id given to a new process (here this one, whose
// creation time differs from the holder's): the id is alive, the holder is
// not, and the lock is taken over.
TEST_F(ModuleRecordTest, WriterLockOfAProcessIdUsedAgainIsTakenOver) {
    FILETIME created = {}, exited, kernel, user;
    ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user));
    const ULONGLONG otherCreation = static_cast<ULONGLONG>(created.dwLowDateTime) + 1;
    guard_->writer = static_cast<LONGLONG>((otherCreation << 32) | ::GetCurrentProcessId());
    ASSERT_NO_FATAL_FAILURE(WriteUniform(0x42));
    EXPECT_EQ(guard_->writer, 0);
    ExpectUniformTake(0x42);
}

// A producer that dies in its copy leaves half a frame: a reader drops it
// (stand-by, hasFrame cleared) rather than taking it or waiting for ever,
// and a writer that comes first simply writes the next frame.
TEST_F(ModuleRecordTest, ChangeLeftHalfDoneByAProcessThatEndedIsNeverTaken) {
    for (bool readerFirst : {true, false}) {
        SCOPED_TRACE(readerFirst ? "reader first" : "writer first");
        ASSERT_NO_FATAL_FAILURE(WriteUniform(0x21));
        GuardHelper writer(L"copy-exit");
        ASSERT_TRUE(writer.WaitHeld()) << writer.Finish().output;
        EXPECT_EQ(writer.Finish().exitCode, 0u) << writer.Finish().output;
        ASSERT_EQ(guard_->sequence & 1, 1) << "the helper finished its change";
        ASSERT_EQ(record_->frameData[0], 0x77);
        ASSERT_EQ(record_->frameData[kFullFrame - 1], 0x21);

        if (readerFirst) {
            EXPECT_EQ(Take(), FrameTake::Standby);
            EXPECT_EQ(record_->hasFrame, 0);
            EXPECT_EQ(guard_->sequence & 1, 0);
            EXPECT_EQ(guard_->writer, 0);
            EXPECT_EQ(Take(), FrameTake::Standby);
        }
        ASSERT_NO_FATAL_FAILURE(WriteUniform(0x42));
        EXPECT_EQ(guard_->sequence & 1, 0);
        ExpectUniformTake(0x42);
    }
}

// Freshness as the pin sees it on the module's record.
TEST_F(ModuleRecordTest, StaleFrameGivesStandByAndClearsTheFlag) {
    ASSERT_NO_FATAL_FAILURE(WriteUniform(0x21));
    EXPECT_EQ(Take(), FrameTake::Injected);
    record_->writeTick = ::GetTickCount() - kFrameFreshnessMs + 1000;
    EXPECT_EQ(Take(), FrameTake::Injected);
    record_->writeTick = ::GetTickCount() - kFrameFreshnessMs - 100;
    EXPECT_EQ(Take(), FrameTake::Standby);
    EXPECT_EQ(record_->hasFrame, 0);
    record_->writeTick = ::GetTickCount();
    EXPECT_EQ(Take(), FrameTake::Standby) << "a fresh tick without the flag is no frame";
}

// What a writer that died waiting in line, or a reader that died asking
// writers to wait, leaves in the guard holds the next writer up only for a
// while.
TEST_F(ModuleRecordTest, RequestsLeftByWaitersThatEndedDoNotStopWriters) {
    DWORD endedThread = 0;
    std::thread([&] { endedThread = ::GetCurrentThreadId(); }).join();
    const LONGLONG endedWriter =
        static_cast<LONGLONG>((static_cast<ULONGLONG>(endedThread) << 32) | ::GetCurrentProcessId());
    std::vector<BYTE> frame(kFullFrame, 0x42);
    struct Case {
        const char* what;
        LONGLONG nextWriter;
        LONG readerAsked;
    } cases[] = {
        {"a writer in line whose thread ended", endedWriter, 0},
        {"a reader's request just made", 0, static_cast<LONG>(::GetTickCount() | 1)},
        {"a reader's request long ago", 0, static_cast<LONG>((::GetTickCount() - 60000) | 1)},
    };
    for (const Case& c : cases) {
        guard_->nextWriter = c.nextWriter;
        guard_->readerAsked = c.readerAsked;
        EXPECT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK) << c.what;
        EXPECT_EQ(guard_->nextWriter, 0) << c.what;
        EXPECT_EQ(guard_->readerAsked, 0) << c.what;
        EXPECT_EQ(guard_->writer, 0) << c.what;
        EXPECT_EQ(record_->frameData[0], frame[0]) << c.what;
        frame.assign(kFullFrame, static_cast<BYTE>(frame[0] + 1));
    }
}

struct ReadTally {
    long taken = 0, torn = 0, standby = 0, busy = 0;
    std::set<BYTE> values;
    DWORD longestWaitMs = 0;
};

// Two producers write alternating uniform frames as fast as they can; this
// process reads the module's record the way the pin does and checks that
// every frame it takes is uniform.
TEST_F(ModuleRecordTest, ReadersNeverTakeAHalfWrittenFrameWhileTwoProducersWrite) {
    // Until a producer writes, the reader finds no frame (not the earlier
    // tests' ramp, which is not uniform).
    record_->hasFrame = 0;
    const std::wstring event = L"cammod-frame-stress-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    ASSERT_NE(start, nullptr);
    const std::wstring common = L" --count 0 --duration-ms 3000 --start-event " + event;
    const std::wstring patterns[2] = {L"fill:17,34", L"fill:51,68"};
    ProgramResult results[2];
    std::atomic<int> running{2};
    std::vector<std::thread> producers;
    for (int i = 0; i < 2; ++i) {
        producers.emplace_back([&, i] {
            results[i] = RunProgram(QuoteArgument(ProducerPath()) + L" --pattern " + patterns[i] + common, 30000);
            --running;
        });
    }
    ::SetEvent(start);

    ReadTally guarded;
    DWORD deadline = ::GetTickCount() + 30000;
    while (running > 0 && ::GetTickCount() < deadline) {
        DWORD asked = ::GetTickCount();
        BYTE first = 0;
        bool uniform = true;
        FrameTake take = Take(&first, &uniform);
        DWORD waited = ::GetTickCount() - asked;
        if (waited > guarded.longestWaitMs) guarded.longestWaitMs = waited;
        switch (take) {
            case FrameTake::Injected:
                ++guarded.taken;
                if (!uniform) ++guarded.torn;
                guarded.values.insert(first);
                break;
            case FrameTake::Standby:
                ++guarded.standby;
                break;
            case FrameTake::Busy:
                ++guarded.busy;
                break;
        }
    }
    for (std::thread& t : producers) t.join();
    ::CloseHandle(start);

    for (const ProgramResult& r : results) {
        EXPECT_EQ(r.exitCode, 0u) << "a producer's write failed or it did not run: " << r.output;
        EXPECT_NE(r.output.find("writes="), std::string::npos) << r.output;
    }
    std::printf("guarded reads: %ld frames taken, %ld torn, %ld stand-by, %ld busy, longest wait %lu ms\n",
                guarded.taken, guarded.torn, guarded.standby, guarded.busy,
                static_cast<unsigned long>(guarded.longestWaitMs));
    std::printf("producers: %s         %s", results[0].output.c_str(), results[1].output.c_str());
    EXPECT_EQ(guarded.torn, 0) << "a reader took a frame while it was being written";
    EXPECT_GT(guarded.taken, 20) << "too few frames read for the test to mean anything";
    bool first = guarded.values.count(17) || guarded.values.count(34);
    bool second = guarded.values.count(51) || guarded.values.count(68);
    EXPECT_TRUE(first && second) << "frames of both producers should have been read";
    for (BYTE v : guarded.values) EXPECT_TRUE(v == 17 || v == 34 || v == 51 || v == 68) << "foreign value " << int(v);
}

}  // namespace
