// The output pin against a hand-written input pin that offers no allocator:
// the pin's own memory allocator, the request passed on from the input pin,
// what ends the worker's loop, and a stop while the worker waits for a
// buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/camera/framework/test_source_filter.h"
#include "tests/camera/input_pin_stub.h"

using Microsoft::WRL::ComPtr;

namespace {

class TestSinkPin : public InputPinStub {
public:
    ~TestSinkPin() { ReleaseHeld(); }

    // Lives on the test's stack, longer than the filter it is connected to.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // IPin, as far as an output pin calls it.
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
        if (connected) return VFW_E_ALREADY_CONNECTED;
        connected = connector;
        connectionType = *type;
        return S_OK;
    }
    STDMETHODIMP Disconnect() override {
        if (!connected) return S_FALSE;
        connected = nullptr;
        return S_OK;
    }
    STDMETHODIMP ConnectedTo(IPin** pin) override {
        *pin = connected;
        if (!connected) return VFW_E_NOT_CONNECTED;
        connected->AddRef();
        return S_OK;
    }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override {
        return CopyMediaType(type, &connectionType);
    }
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
        info->pFilter = nullptr;
        wcscpy(info->achName, L"Sink");
        info->dir = PINDIR_INPUT;
        return S_OK;
    }
    STDMETHODIMP EndOfStream() override {
        ++endOfStreams;
        return S_OK;
    }

    // IMemInputPin: no allocator of its own, but requirements.
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
        *allocator = nullptr;
        return VFW_E_NO_ALLOCATOR;
    }
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override {
        notified = allocator;
        notifiedReadOnly = readOnly;
        return S_OK;
    }
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override {
        props->cBuffers = 1;
        props->cbBuffer = 0;
        props->cbAlign = 16;
        props->cbPrefix = 8;
        return S_OK;
    }
    STDMETHODIMP Receive(IMediaSample* sample) override {
        std::lock_guard<std::mutex> guard(lock);
        BYTE* data = nullptr;
        DWORD counter = 0xffffffff;
        if (SUCCEEDED(sample->GetPointer(&data))) std::memcpy(&counter, data, 4);
        counters.push_back(counter);
        if (holdSamples) {
            sample->AddRef();
            held.push_back(sample);
        }
        return counters.size() >= static_cast<size_t>(refuseFrom) ? refusal : S_OK;
    }
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override {
        *processed = 0;
        for (long i = 0; i < count; ++i, ++*processed) Receive(samples[i]);
        return S_OK;
    }

    size_t Received() {
        std::lock_guard<std::mutex> guard(lock);
        return counters.size();
    }
    bool WaitForReceived(size_t count, DWORD timeoutMs) {
        const DWORD begin = GetTickCount();
        while (Received() < count) {
            if (GetTickCount() - begin > timeoutMs) return false;
            Sleep(5);
        }
        return true;
    }
    void ReleaseHeld() {
        std::lock_guard<std::mutex> guard(lock);
        for (IMediaSample* sample : held) sample->Release();
        held.clear();
    }

    IPin* connected = nullptr;
    CMediaType connectionType;
    ComPtr<IMemAllocator> notified;
    BOOL notifiedReadOnly = TRUE;
    std::mutex lock;
    std::vector<DWORD> counters;
    std::vector<IMediaSample*> held;
    bool holdSamples = false;
    int refuseFrom = 1 << 30;  // Receive answers `refusal` from this sample on
    HRESULT refusal = S_FALSE;
    int endOfStreams = 0;
};

class FrameworkDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        filter = CFrameworkTestSource::Create(nullptr);
        ASSERT_NE(filter, nullptr);
        filter->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(base.GetAddressOf()));
        pin = filter->Stream();
        ASSERT_EQ(pin->Connect(&sink, nullptr), S_OK);
    }
    void TearDown() override {
        if (base) base->Stop();
        sink.ReleaseHeld();
        sink.Disconnect();
        if (pin) pin->Disconnect();
        base.Reset();
        CoUninitialize();
        EXPECT_EQ(LiveObjectCount(), 0);
    }

    // Stops the filter on another thread, so that a stop that never returns
    // fails the test instead of hanging it.
    HRESULT StopWithin(DWORD timeoutMs) {
        HRESULT result = E_PENDING;
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread stopper([&] {
            result = base->Stop();
            SetEvent(done);
        });
        if (WaitForSingleObject(done, timeoutMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "Stop did not return within " << timeoutMs << " ms";
            fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        stopper.join();
        CloseHandle(done);
        return result;
    }

    TestSinkPin sink;  // outlives the filter
    CFrameworkTestSource* filter = nullptr;
    ComPtr<IBaseFilter> base;
    CFrameworkTestStream* pin = nullptr;
};

TEST_F(FrameworkDelivery, UsesItsOwnAllocatorWithTheInputPinsRequirements) {
    ASSERT_TRUE(sink.notified) << "NotifyAllocator was not called";
    EXPECT_FALSE(sink.notifiedReadOnly);
    EXPECT_EQ(sink.notified.Get(), pin->lastAllocator.Get());
    EXPECT_EQ(pin->lastRequest.cbAlign, 16) << "DecideBufferSize did not get the input pin's request";
    EXPECT_EQ(pin->lastRequest.cbPrefix, 8);
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(sink.notified->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cBuffers, 2);
    EXPECT_EQ(props.cbBuffer, 64 * 48 * 3);
    EXPECT_EQ(props.cbAlign, 16);
    EXPECT_EQ(props.cbPrefix, 8);

    ASSERT_EQ(base->Pause(), S_OK);
    ASSERT_TRUE(sink.WaitForReceived(10, 10000));
    ASSERT_EQ(StopWithin(10000), S_OK);
    std::lock_guard<std::mutex> guard(sink.lock);
    for (size_t i = 0; i < sink.counters.size(); ++i) ASSERT_EQ(sink.counters[i], i);
    EXPECT_EQ(sink.endOfStreams, 0);
}

TEST_F(FrameworkDelivery, DeliveryThatIsNotOkEndsTheLoop) {
    sink.refuseFrom = 3;
    sink.refusal = S_FALSE;
    ASSERT_EQ(base->Pause(), S_OK);
    ASSERT_TRUE(sink.WaitForReceived(3, 10000));
    Sleep(200);
    EXPECT_EQ(sink.Received(), 3u) << "the worker went on after a delivery answered S_FALSE";
    EXPECT_EQ(pin->filled.load(), 3u);
    EXPECT_EQ(sink.endOfStreams, 0) << "a refused delivery is not the end of the stream";
    EXPECT_EQ(StopWithin(10000), S_OK);
}

TEST_F(FrameworkDelivery, EndOfStreamGoesDownstreamAfterTheLastSample) {
    pin->endAfter = 4;
    ASSERT_EQ(base->Pause(), S_OK);
    const DWORD begin = GetTickCount();
    while (sink.endOfStreams == 0 && GetTickCount() - begin < 10000) Sleep(5);
    EXPECT_EQ(sink.endOfStreams, 1);
    EXPECT_EQ(sink.Received(), 4u);
    EXPECT_EQ(StopWithin(10000), S_OK);
    EXPECT_EQ(sink.endOfStreams, 1);
}

TEST_F(FrameworkDelivery, StopEndsAWorkerWaitingForAFreeBuffer) {
    // The input pin keeps both buffers: the worker then waits in GetBuffer.
    sink.holdSamples = true;
    ASSERT_EQ(base->Pause(), S_OK);
    ASSERT_TRUE(sink.WaitForReceived(2, 10000));
    Sleep(100);
    EXPECT_EQ(sink.Received(), 2u) << "a third buffer came from a two-buffer allocator";
    EXPECT_EQ(StopWithin(10000), S_OK);
    EXPECT_EQ(pin->inactiveCalls.load(), 1);
    EXPECT_FALSE(pin->ThreadRunning());

    // Once the buffers come back, a new pause streams again.
    sink.ReleaseHeld();
    sink.holdSamples = false;
    ASSERT_EQ(base->Pause(), S_OK);
    EXPECT_TRUE(sink.WaitForReceived(6, 10000));
    EXPECT_EQ(StopWithin(10000), S_OK);
}

}  // namespace
