// The framework's source filter inside a real filter graph: connection,
// allocator negotiation, the worker's samples through a sample grabber, the
// state changes, end of stream and errors, and a reconnection with another
// type.
#include <gtest/gtest.h>

#include "tests/camera/framework/grabber_graph.h"

using Microsoft::WRL::ComPtr;

namespace {

class FrameworkGraph : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(LiveObjectCount(), 0) << "a framework object outlived its graph";
    }
};

// Samples must carry counters 0, 1, 2... without gaps, each with its bytes.
void ExpectConsecutive(const std::vector<SeenSample>& samples, DWORD first, long length) {
    for (size_t i = 0; i < samples.size(); ++i) {
        const SeenSample& s = samples[i];
        ASSERT_EQ(s.counter, first + i) << "sample " << i << " out of order";
        EXPECT_EQ(s.length, length) << "sample " << i;
        EXPECT_TRUE(s.patternIntact) << "sample " << i << " does not hold the bytes the source wrote";
        EXPECT_EQ(s.start, static_cast<REFERENCE_TIME>(s.counter) * 100000) << "sample " << i;
        EXPECT_EQ(s.stop, static_cast<REFERENCE_TIME>(s.counter + 1) * 100000) << "sample " << i;
    }
}

const long kFirstSize = 64 * 48 * 3;
const long kSecondSize = 32 * 24 * 3;

TEST_F(FrameworkGraph, ConnectsWithItsFirstTypeAndTheNegotiatedAllocator) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    CFrameworkTestStream* pin = g.filter->Stream();

    AM_MEDIA_TYPE peerType = {};
    ASSERT_EQ(g.grabberIn->ConnectionMediaType(&peerType), S_OK);
    CMediaType agreed(peerType);
    FreeMediaType(peerType);
    EXPECT_TRUE(agreed == MakeTestVideoType(64, 48)) << "not the first listed type";

    ComPtr<IPin> peer;
    ASSERT_EQ(g.sourceOut->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer.Get(), g.grabberIn.Get());
    AM_MEDIA_TYPE ours = {};
    ASSERT_EQ(g.sourceOut->ConnectionMediaType(&ours), S_OK);
    EXPECT_TRUE(CMediaType(ours) == agreed);
    FreeMediaType(ours);

    // The allocator DecideBufferSize set up is the one the downstream pin uses.
    ASSERT_TRUE(pin->lastAllocator);
    EXPECT_EQ(pin->lastActual.cBuffers, 2);
    EXPECT_GE(pin->lastActual.cbBuffer, kFirstSize);
    EXPECT_GE(pin->lastRequest.cbAlign, 1) << "the request reached DecideBufferSize without an alignment";
    ComPtr<IMemInputPin> input;
    ASSERT_TRUE(SUCCEEDED(g.grabberIn.As(&input)));
    ComPtr<IMemAllocator> used;
    ASSERT_EQ(input->GetAllocator(&used), S_OK);
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(used->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cBuffers, 2);
    EXPECT_GE(props.cbBuffer, kFirstSize);

    // Connected pins refuse a second connection and disconnection while active.
    EXPECT_EQ(g.sourceOut->Connect(g.rendererIn.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
    ASSERT_TRUE(SUCCEEDED(g.PauseAndWait()));
    EXPECT_EQ(g.sourceOut->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FrameworkGraph, DeliversCountedSamplesInOrderWhileRunning) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    ASSERT_TRUE(g.recorder.WaitFor(20, 10000)) << "only " << g.recorder.Count() << " samples in 10 s";
    ASSERT_EQ(g.control->Stop(), S_OK);

    std::vector<SeenSample> samples = g.recorder.Samples();
    ExpectConsecutive(samples, 0, kFirstSize);
    // FillBuffer and the delivery run on the pin's worker, not the caller's thread.
    EXPECT_NE(g.filter->Stream()->fillThread.load(), GetCurrentThreadId());
    EXPECT_EQ(samples.front().thread, g.filter->Stream()->fillThread.load());
    EXPECT_EQ(g.filter->runCalls.load(), 1);
}

TEST_F(FrameworkGraph, PausesRunsStopsAndRunsAgain) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    CFrameworkTestStream* pin = g.filter->Stream();

    // Paused: the worker already fills (the renderer holds the first sample).
    ASSERT_TRUE(SUCCEEDED(g.PauseAndWait()));
    EXPECT_EQ(pin->activeCalls.load(), 1);
    ASSERT_TRUE(g.recorder.WaitFor(1, 10000)) << "no sample while paused";

    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    EXPECT_EQ(pin->activeCalls.load(), 1) << "running from paused must not activate again";
    ASSERT_TRUE(g.recorder.WaitFor(10, 10000));
    ASSERT_TRUE(SUCCEEDED(g.PauseAndWait()));
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    size_t before = g.recorder.Count();
    ASSERT_TRUE(g.recorder.WaitFor(before + 10, 10000)) << "no samples after pause and run";

    ASSERT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(pin->inactiveCalls.load(), 1);
    // Stop waits for the worker: nothing arrives afterwards.
    size_t atStop = g.recorder.Count();
    DWORD filledAtStop = pin->filled;
    Sleep(200);
    EXPECT_EQ(g.recorder.Count(), atStop);
    EXPECT_EQ(pin->filled.load(), filledAtStop);
    ExpectConsecutive(g.recorder.Samples(), 0, kFirstSize);

    // A new run starts a new worker on the same connection.
    g.recorder.Clear();
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    EXPECT_EQ(pin->activeCalls.load(), 2);
    ASSERT_TRUE(g.recorder.WaitFor(10, 10000)) << "no samples after stop and run";
    ASSERT_EQ(g.control->Stop(), S_OK);
    ExpectConsecutive(g.recorder.Samples(), filledAtStop, kFirstSize);
    EXPECT_EQ(pin->inactiveCalls.load(), 2);
}

TEST_F(FrameworkGraph, EndOfStreamFromFillBufferCompletesTheGraph) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    g.filter->Stream()->endAfter = 5;
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    long code = 0;
    ASSERT_EQ(g.events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    // Exactly the samples filled before S_FALSE arrived.
    std::vector<SeenSample> samples = g.recorder.Samples();
    EXPECT_EQ(samples.size(), 5u);
    ExpectConsecutive(samples, 0, kFirstSize);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FrameworkGraph, ErrorFromFillBufferAbortsWithThatResult) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    const HRESULT failure = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x7a31);
    g.filter->Stream()->failure = failure;
    g.filter->Stream()->failAfter = 3;
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    LONG_PTR param1 = 0;
    ASSERT_TRUE(g.WaitForEvent(EC_ERRORABORT, 10000, &param1)) << "no EC_ERRORABORT";
    EXPECT_EQ(static_cast<HRESULT>(param1), failure);
    EXPECT_EQ(g.recorder.Count(), 3u);
    // The loop has ended, but the worker still answers the stop.
    EXPECT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(g.filter->Stream()->inactiveCalls.load(), 1);
}

TEST_F(FrameworkGraph, ReconnectsWithAnotherTypeAndStreamsIt) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    CFrameworkTestStream* pin = g.filter->Stream();

    // A format change while connected goes through the graph's Reconnect.
    ASSERT_TRUE(SUCCEEDED(pin->ChangeSize(1)));
    AM_MEDIA_TYPE peerType = {};
    ASSERT_EQ(g.grabberIn->ConnectionMediaType(&peerType), S_OK);
    EXPECT_TRUE(CMediaType(peerType) == MakeTestVideoType(32, 24));
    FreeMediaType(peerType);
    EXPECT_GE(pin->lastActual.cbBuffer, kSecondSize);

    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    ASSERT_TRUE(g.recorder.WaitFor(10, 10000));
    ASSERT_EQ(g.control->Stop(), S_OK);
    ExpectConsecutive(g.recorder.Samples(), 0, kSecondSize);

    // And back, by disconnecting and connecting with an explicit type.
    ASSERT_EQ(g.graph->Disconnect(g.sourceOut.Get()), S_OK);
    ASSERT_EQ(g.graph->Disconnect(g.grabberIn.Get()), S_OK);
    ComPtr<IPin> none;
    EXPECT_EQ(g.sourceOut->ConnectedTo(&none), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(none.Get(), nullptr);
    CMediaType wanted = MakeTestVideoType(64, 48);
    ASSERT_EQ(g.graph->ConnectDirect(g.sourceOut.Get(), g.grabberIn.Get(), &wanted), S_OK);
    g.recorder.Clear();
    DWORD first = pin->filled;
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    ASSERT_TRUE(g.recorder.WaitFor(10, 10000));
    ASSERT_EQ(g.control->Stop(), S_OK);
    ExpectConsecutive(g.recorder.Samples(), first, kFirstSize);
}

TEST_F(FrameworkGraph, FilterKnowsItsGraphNameAndClock) {
    GrabberGraph g;
    ASSERT_TRUE(g.ok()) << std::hex << g.build_result();
    FILTER_INFO info = {};
    ASSERT_EQ(g.source->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Source");
    ASSERT_NE(info.pGraph, nullptr);
    ComPtr<IFilterGraph> asJoined;
    g.graph.As(&asJoined);
    EXPECT_EQ(info.pGraph, asJoined.Get());
    info.pGraph->Release();

    // Running gives the filter the graph's clock.
    ASSERT_TRUE(SUCCEEDED(g.RunAndWait()));
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(g.source->GetSyncSource(&clock), S_OK);
    ASSERT_TRUE(clock) << "the graph set no clock";
    REFERENCE_TIME early = 0, later = 0;
    ASSERT_EQ(g.filter->StreamTime(early), S_OK);
    Sleep(50);
    ASSERT_EQ(g.filter->StreamTime(later), S_OK);
    EXPECT_GT(later, early) << "stream time does not follow the graph's clock";
    FILTER_STATE state;
    EXPECT_EQ(g.source->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    ASSERT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(g.source->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    // Leaving the graph drops the graph and the name.
    ASSERT_EQ(g.graph->RemoveFilter(g.source.Get()), S_OK);
    ASSERT_EQ(g.source->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_STREQ(info.achName, L"");
    EXPECT_FALSE(g.filter->Stream()->IsConnected()) << "removing the filter disconnects it";
}

}  // namespace
