#pragma once
// A source filter for the framework's tests, built in process: one output
// pin offering two RGB24 sizes whose samples carry a running counter.
#include <windows.h>
#include <dshow.h>

#include <atomic>

#include "camera/framework/framework.h"

// {5B0D3A61-2C7E-4E8B-9F41-6A3D2E1C0B97}
extern const CLSID CLSID_FrameworkTestSource;
// Classes whose create function fails: with an object and a failure
// result, and with no object and no result.
extern const CLSID CLSID_FrameworkFailingSource;
extern const CLSID CLSID_FrameworkMissingSource;
// The failure CLSID_FrameworkFailingSource reports.
extern const HRESULT kFailingSourceResult;

// Calls of the test source's init routine: the last argument and count.
struct InitRoutineCalls {
    int loading = 0;
    int unloading = 0;
    const CLSID* clsid = nullptr;
};
extern InitRoutineCalls g_initRoutineCalls;

struct TestVideoSize {
    LONG width;
    LONG height;
};
// The two sizes the pin offers, in list order after the current type.
extern const TestVideoSize kTestSizes[2];

// An RGB24 VIDEOINFOHEADER type of that size (bottom-up rows).
CMediaType MakeTestVideoType(LONG width, LONG height);
// Byte i of sample `counter`: the first four bytes hold the counter, the
// rest follow from it.
BYTE TestPatternByte(DWORD counter, size_t index);

class CFrameworkTestSource;

class CFrameworkTestStream : public CSourceStream {
public:
    CFrameworkTestStream(HRESULT* phr, CFrameworkTestSource* filter);

    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Like a format change through a stream-config interface: the new size
    // becomes the current type and a connected pin is reconnected by the graph.
    HRESULT ChangeSize(int sizeIndex);
    // Tells enumerators that the type list changed.
    void BumpTypeVersion() { IncrementTypeVersion(); }

    // Fill S_FALSE (end of stream) or `failure` once this many samples were
    // filled; -1 never.
    std::atomic<int> endAfter{-1};
    std::atomic<int> failAfter{-1};
    HRESULT failure = E_FAIL;

    std::atomic<DWORD> filled{0};
    std::atomic<int> activeCalls{0};
    std::atomic<int> inactiveCalls{0};
    std::atomic<DWORD> fillThread{0};
    // What the last DecideBufferSize was asked for and granted.
    ALLOCATOR_PROPERTIES lastRequest = {};
    ALLOCATOR_PROPERTIES lastActual = {};
    Microsoft::WRL::ComPtr<IMemAllocator> lastAllocator;
};

class CFrameworkTestSource : public CSource {
public:
    static CUnknown* WINAPI CreateInstance(IUnknown* outer, HRESULT* phr);
    // A filter with its pin; null when the pin failed.
    static CFrameworkTestSource* Create(IUnknown* outer);

    CFrameworkTestStream* Stream() { return static_cast<CFrameworkTestStream*>(m_paStreams[0]); }
    // Adds a second pin (to put enumerators out of step).
    HRESULT AddSecondPin();

    std::atomic<int> runCalls{0};
    STDMETHODIMP Run(REFERENCE_TIME start) override;

private:
    explicit CFrameworkTestSource(IUnknown* outer);
};
