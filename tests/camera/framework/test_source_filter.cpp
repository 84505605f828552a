#include "tests/camera/framework/test_source_filter.h"

#include <amvideo.h>
#include <uuids.h>

#include <cstring>
#include <new>

const CLSID CLSID_FrameworkTestSource = {0x5b0d3a61, 0x2c7e, 0x4e8b, {0x9f, 0x41, 0x6a, 0x3d, 0x2e, 0x1c, 0x0b, 0x97}};

const CLSID CLSID_FrameworkFailingSource = {0x5b0d3a62, 0x2c7e, 0x4e8b, {0x9f, 0x41, 0x6a, 0x3d, 0x2e, 0x1c, 0x0b, 0x97}};
const CLSID CLSID_FrameworkMissingSource = {0x5b0d3a63, 0x2c7e, 0x4e8b, {0x9f, 0x41, 0x6a, 0x3d, 0x2e, 0x1c, 0x0b, 0x97}};
const HRESULT kFailingSourceResult = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x6b02);

const TestVideoSize kTestSizes[2] = {{64, 48}, {32, 24}};

InitRoutineCalls g_initRoutineCalls;

namespace {
const WCHAR kFilterName[] = L"Framework test source";

CUnknown* WINAPI CreateFailingSource(IUnknown* outer, HRESULT* phr) {
    CUnknown* object = CFrameworkTestSource::CreateInstance(outer, phr);
    *phr = kFailingSourceResult;
    return object;
}

CUnknown* WINAPI CreateMissingSource(IUnknown*, HRESULT*) { return nullptr; }

void WINAPI RecordInitRoutine(BOOL loading, const CLSID* clsid) {
    if (loading) {
        ++g_initRoutineCalls.loading;
    } else {
        ++g_initRoutineCalls.unloading;
    }
    g_initRoutineCalls.clsid = clsid;
}
}  // namespace

// The module's template table, which the class factory reads.
CFactoryTemplate g_Templates[] = {
    {kFilterName, &CLSID_FrameworkTestSource, &CFrameworkTestSource::CreateInstance, &RecordInitRoutine, nullptr},
    {L"failing", &CLSID_FrameworkFailingSource, &CreateFailingSource, nullptr, nullptr},
    {L"missing", &CLSID_FrameworkMissingSource, &CreateMissingSource, nullptr, nullptr},
};
int g_cTemplates = 3;

CMediaType MakeTestVideoType(LONG width, LONG height) {
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_RGB24);
    type.SetFormatType(&FORMAT_VideoInfo);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->AvgTimePerFrame = 333333;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 24;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3);
    type.SetSampleSize(info->bmiHeader.biSizeImage);
    type.SetTemporalCompression(FALSE);
    return type;
}

BYTE TestPatternByte(DWORD counter, size_t index) {
    if (index < 4) return static_cast<BYTE>(counter >> (8 * index));
    return static_cast<BYTE>(counter * 7 + index);
}

CFrameworkTestStream::CFrameworkTestStream(HRESULT* phr, CFrameworkTestSource* filter)
    : CSourceStream(L"test stream", phr, filter, L"Out") {
    m_mt = MakeTestVideoType(kTestSizes[0].width, kTestSizes[0].height);
}

HRESULT CFrameworkTestStream::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (position < 0) return E_INVALIDARG;
    if (position == 0) return type->Set(m_mt);
    if (position > 2) return VFW_S_NO_MORE_ITEMS;
    *type = MakeTestVideoType(kTestSizes[position - 1].width, kTestSizes[position - 1].height);
    return S_OK;
}

HRESULT CFrameworkTestStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    lastRequest = *request;
    request->cBuffers = 2;
    request->cbBuffer = static_cast<LONG>(m_mt.lSampleSize);
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    lastActual = actual;
    lastAllocator = allocator;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CFrameworkTestStream::FillBuffer(IMediaSample* sample) {
    fillThread = GetCurrentThreadId();
    const DWORD counter = filled;
    if (endAfter >= 0 && counter >= static_cast<DWORD>(endAfter)) return S_FALSE;
    if (failAfter >= 0 && counter >= static_cast<DWORD>(failAfter)) return failure;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    const long size = static_cast<long>(m_mt.lSampleSize);
    if (sample->GetSize() < size) return E_UNEXPECTED;
    for (long i = 0; i < size; ++i) data[i] = TestPatternByte(counter, static_cast<size_t>(i));
    sample->SetActualDataLength(size);
    REFERENCE_TIME start = counter * 100000LL;
    REFERENCE_TIME stop = start + 100000LL;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    filled = counter + 1;
    // Some hundreds of samples a second are plenty and spare the machine.
    Sleep(2);
    return S_OK;
}

HRESULT CFrameworkTestStream::Active() {
    ++activeCalls;
    return CSourceStream::Active();
}

HRESULT CFrameworkTestStream::Inactive() {
    ++inactiveCalls;
    return CSourceStream::Inactive();
}

HRESULT CFrameworkTestStream::ChangeSize(int sizeIndex) {
    CAutoLock lock(m_pFilter->pStateLock());
    HRESULT hr = m_mt.Set(MakeTestVideoType(kTestSizes[sizeIndex].width, kTestSizes[sizeIndex].height));
    if (FAILED(hr)) return hr;
    IFilterGraph* graph = m_pFilter->GetFilterGraph();
    if (!IsConnected() || !graph) return S_OK;
    return graph->Reconnect(this);
}

CFrameworkTestSource::CFrameworkTestSource(IUnknown* outer)
    : CSource(kFilterName, outer, CLSID_FrameworkTestSource) {}

CUnknown* WINAPI CFrameworkTestSource::CreateInstance(IUnknown* outer, HRESULT* phr) {
    auto* filter = new (std::nothrow) CFrameworkTestSource(outer);
    if (!filter) return nullptr;
    auto* pin = new (std::nothrow) CFrameworkTestStream(phr, filter);
    if (!pin && phr && SUCCEEDED(*phr)) *phr = E_OUTOFMEMORY;
    return filter;
}

CFrameworkTestSource* CFrameworkTestSource::Create(IUnknown* outer) {
    HRESULT hr = S_OK;
    CUnknown* object = CreateInstance(outer, &hr);
    if (FAILED(hr)) {
        delete object;
        return nullptr;
    }
    return static_cast<CFrameworkTestSource*>(object);
}

HRESULT CFrameworkTestSource::AddSecondPin() {
    HRESULT hr = S_OK;
    auto* pin = new (std::nothrow) CFrameworkTestStream(&hr, this);
    if (!pin) return E_OUTOFMEMORY;
    return hr;
}

STDMETHODIMP CFrameworkTestSource::Run(REFERENCE_TIME start) {
    ++runCalls;
    return CSource::Run(start);
}
