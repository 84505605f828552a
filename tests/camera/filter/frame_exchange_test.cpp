// The shared frame record of the built module: its section in the file, the
// write through TranslateData_buf, the bounds refusal, writes from other
// processes, and readers that never see a frame half written while two
// producer processes write at full speed.
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
#include "camera/module/camera_identity.h"
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

TEST(FrameExchangeSection, ModuleFileCarriesOneSharedSectionOfTheRecordsSize) {
    PeFile pe = ReadPeFile(CameraModulePath());
    ASSERT_TRUE(pe.valid);
    int found = 0;
    for (const PeSection& section : pe.sections) {
        if (section.name != ".zrcamer") continue;
        ++found;
        EXPECT_EQ(section.virtualSize, kSharedSectionSize);
        EXPECT_EQ(section.characteristics, kSharedSectionCharacteristics);
    }
    EXPECT_EQ(found, 1);
    EXPECT_EQ(sizeof(FrameExchange), kSharedSectionSize);
}

// The freshness test on a record of our own (the same code the pin runs).
TEST(FrameExchangeFreshness, StaleAfterMoreThanTwoSecondsAcrossTheTickWrap) {
    auto record = std::make_unique<FrameExchange>();
    struct Case {
        DWORD writeTick, now;
        BYTE hasFrame;
        bool fresh;
        BYTE hasFrameAfter;
    } cases[] = {
        {1000, 1000, 1, true, 1},
        {1000, 2000, 1, true, 1},
        {1000, 3000, 1, true, 1},  // exactly 2,000 ms: still fresh
        {1000, 3001, 1, false, 0},
        {1000, 3001, 0, false, 0},
        {1000, 2000, 0, false, 0},  // fresh tick but no frame
        {0xFFFFFF00u, 0x00000100u, 1, true, 1},  // 512 ms across the wrap
        {0xFFFFFF00u, 0x000006D0u, 1, true, 1},  // 2,000 ms across the wrap
        {0xFFFFFF00u, 0x000006D1u, 1, false, 0},
    };
    for (const Case& c : cases) {
        record->writeTick = c.writeTick;
        record->hasFrame = c.hasFrame;
        EXPECT_EQ(CheckFrameFresh(*record, c.now), c.fresh) << c.writeTick << " read at " << c.now;
        EXPECT_EQ(record->hasFrame, c.hasFrameAfter) << c.writeTick << " read at " << c.now;
    }
}

class ModuleRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_) << "LoadLibrary failed: " << ::GetLastError();
        DWORD size = 0;
        record_ = reinterpret_cast<FrameExchange*>(LoadedSectionData(module_.get(), ".zrcamer", &size));
        ASSERT_NE(record_, nullptr);
        ASSERT_EQ(size, kSharedSectionSize);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(module_.GetClassObject(CLSID_VirtualCamera, IID_IClassFactory,
                                         reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_TranslateData_buf, reinterpret_cast<void**>(sink_.GetAddressOf())),
                  S_OK);
    }

    CameraModule module_;
    FrameExchange* record_ = nullptr;  // in the module's image
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

// The guard as another holder keeps it: a writer that cannot have it gives
// up without writing, a reader reports the record busy.
TEST_F(ModuleRecordTest, GuardHeldElsewhereMakesWritesFailAndReadsBusyWithoutTouchingTheRecord) {
    std::vector<BYTE> frame = RampFrame(kFullFrame);
    ASSERT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK);
    auto snapshot = std::make_unique<FrameExchange>();
    std::memcpy(snapshot.get(), record_, sizeof(FrameExchange));

    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        CFrameExchangeLock lock(CFrameExchangeLock::Role::Writer, 5000);
        if (lock.Held()) ::SetEvent(held);
        ::WaitForSingleObject(done, 20000);
    });
    ASSERT_EQ(::WaitForSingleObject(held, 10000), WAIT_OBJECT_0);

    std::vector<BYTE> other(kFullFrame, 0x99);
    EXPECT_EQ(sink_->WriteFrame(other.data(), kFullFrame), HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    bool consumed = false;
    EXPECT_EQ(TakeFreshFrame(*record_, [&](const BYTE*, LONG) { consumed = true; }), FrameTake::Busy);
    EXPECT_FALSE(consumed);
    EXPECT_EQ(std::memcmp(snapshot.get(), record_, sizeof(FrameExchange)), 0);

    ::SetEvent(done);
    holder.join();
    ::CloseHandle(held);
    ::CloseHandle(done);
    EXPECT_EQ(sink_->WriteFrame(other.data(), kFullFrame), S_OK) << "the guard is free again";
    EXPECT_EQ(TakeFreshFrame(*record_, [&](const BYTE* data, LONG length) { consumed = Uniform(data, length); }),
              FrameTake::Injected);
    EXPECT_TRUE(consumed);
}

// A holder that ends without letting go (a producer dying in its copy) does
// not lock the record for good.
TEST_F(ModuleRecordTest, GuardLeftByAThreadThatEndedIsTakenOver) {
    std::thread([] {
        auto* lock = new CFrameExchangeLock(CFrameExchangeLock::Role::Writer, 5000);
        (void)lock;  // never released: the thread ends holding the guard
    }).join();
    std::vector<BYTE> frame(kFullFrame, 0x42);
    EXPECT_EQ(sink_->WriteFrame(frame.data(), kFullFrame), S_OK);
    EXPECT_EQ(record_->frameData[0], 0x42);
    BYTE first = 0;
    EXPECT_EQ(TakeFreshFrame(*record_, [&](const BYTE* data, LONG) { first = data[0]; }), FrameTake::Injected);
    EXPECT_EQ(first, 0x42);
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
        FrameTake take = TakeFreshFrame(*record_, [&](const BYTE* frame, LONG length) {
            first = frame[0];
            uniform = Uniform(frame, length);
        });
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
