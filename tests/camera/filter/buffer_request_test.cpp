// The buffers the camera's pin asks for, seen by a hand-written downstream
// pin that offers its own allocator: one buffer of the image size, and a
// peer allocator that grants less than that is not used.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <atomic>

#include "tests/camera/filter/camera_graph.h"
#include "tests/camera/input_pin_stub.h"

using Microsoft::WRL::ComPtr;

namespace {

// A memory allocator that grants `shortBy` bytes less than asked.
class GrudgingAllocator : public IMemAllocator {
public:
    GrudgingAllocator(IMemAllocator* real, long shortBy) : m_real(real), m_shortBy(shortBy) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMemAllocator)) {
            *out = static_cast<IMemAllocator*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }  // lives on the test's stack

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
        asked = *request;
        ++setPropertiesCalls;
        ALLOCATOR_PROPERTIES granted = *request;
        granted.cbBuffer -= m_shortBy;
        return m_real->SetProperties(&granted, actual);
    }
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override { return m_real->GetProperties(properties); }
    STDMETHODIMP Commit() override { return m_real->Commit(); }
    STDMETHODIMP Decommit() override { return m_real->Decommit(); }
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override {
        return m_real->GetBuffer(sample, start, stop, flags);
    }
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override { return m_real->ReleaseBuffer(sample); }

    ALLOCATOR_PROPERTIES asked = {};
    int setPropertiesCalls = 0;
    std::atomic<ULONG> m_refs{1};

private:
    ComPtr<IMemAllocator> m_real;
    long m_shortBy;
};

// An input pin that is only ever connected to: it takes any type and offers
// its allocator.
class OfferingInputPin : public InputPinStub {
public:
    explicit OfferingInputPin(IMemAllocator* offered) : m_offered(offered) {}

    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }

    // IPin
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE*) override {
        m_connector = connector;
        return S_OK;
    }
    STDMETHODIMP Disconnect() override {
        m_connector.Reset();
        return S_OK;
    }
    STDMETHODIMP ConnectedTo(IPin** pin) override {
        *pin = m_connector.Get();
        if (!*pin) return VFW_E_NOT_CONNECTED;
        (*pin)->AddRef();
        return S_OK;
    }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
        info->pFilter = nullptr;
        info->dir = PINDIR_INPUT;
        info->achName[0] = 0;
        return S_OK;
    }

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
        *allocator = m_offered;
        m_offered->AddRef();
        return S_OK;
    }
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL) override {
        notified = allocator;
        return S_OK;
    }
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    STDMETHODIMP Receive(IMediaSample*) override { return S_OK; }
    STDMETHODIMP ReceiveMultiple(IMediaSample**, long, long* processed) override {
        *processed = 0;
        return S_OK;
    }

    IMemAllocator* notified = nullptr;  // compared only, not counted

private:
    IMemAllocator* m_offered;
    ComPtr<IPin> m_connector;
    std::atomic<ULONG> m_refs{1};
};

class BufferRequest : public ::testing::TestWithParam<long> {};

TEST_P(BufferRequest, OneBufferOfTheImageSizeFromAnAllocatorThatGrantsIt) {
    const long shortBy = GetParam();
    ComScope com;
    ASSERT_HRESULT_SUCCEEDED(com.Result());
    ComPtr<IMemAllocator> real;
    ASSERT_HRESULT_SUCCEEDED(
        ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&real)));
    GrudgingAllocator offered(real.Get(), shortBy);
    OfferingInputPin sink(&offered);
    {
        ComPtr<IBaseFilter> camera = CameraFromDeviceList();
        ASSERT_NE(nullptr, camera);
        ComPtr<IPin> out = OutputPinOf(camera.Get());
        ASSERT_NE(nullptr, out);

        ASSERT_EQ(S_OK, out->Connect(&sink, nullptr));
        EXPECT_EQ(1, offered.setPropertiesCalls);
        EXPECT_EQ(1, offered.asked.cBuffers);
        EXPECT_EQ(921600, offered.asked.cbBuffer);
        ASSERT_NE(nullptr, sink.notified);
        if (shortBy == 0) {
            EXPECT_EQ(static_cast<IMemAllocator*>(&offered), sink.notified) << "the peer's allocator grants enough";
        } else {
            EXPECT_NE(static_cast<IMemAllocator*>(&offered), sink.notified)
                << "an allocator granting " << shortBy << " bytes too few is refused";
            ALLOCATOR_PROPERTIES used = {};
            ASSERT_HRESULT_SUCCEEDED(sink.notified->GetProperties(&used));
            EXPECT_EQ(1, used.cBuffers);
            EXPECT_EQ(921600, used.cbBuffer);
        }
        sink.notified = nullptr;
        EXPECT_HRESULT_SUCCEEDED(out->Disconnect());
    }
}

INSTANTIATE_TEST_SUITE_P(GrantedShortBy, BufferRequest, ::testing::Values(0L, 1L, 4096L));

}  // namespace
