#include "camera/filter/virtual_camera_pin.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "camera/filter/halve_image.h"
#include "camera/filter/output_pin_formats.h"
#include "camera/filter/pin_category_property.h"
#include "camera/filter/pin_debug_text.h"
#include "camera/filter/sample_fill.h"
#include "camera/filter/standby_picture.h"
#include "camera/filter/stream_pacing.h"
#include "camera/filter/virtual_camera.h"

namespace {

constexpr char kCheckMediaTypeText[] = "CheckMediaType";
constexpr char kSetMediaTypeText[] = "SetMediaType bmiHeader.biWidth = %d,bmiHeader.biHeight = %d";
constexpr size_t kSetMediaTypeTextRoom = 100;

static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "the capability record's size is announced to callers");

}  // namespace

CVirtualCamerPin::CVirtualCamerPin(HRESULT* phr, CVirtualCamera* filter)
    : CSourceStream(L"CVirtualCamerPin", phr, filter, L"Out"), m_camera(filter) {
    HRESULT hr = MakeListedVideoType(kFullSizePosition, &m_mt);
    try {
        m_standbyFull.assign(kFullPictureBytes, 0);
        m_standbyHalf.assign(kHalfPictureBytes, 0);
        m_halfScratch.assign(kFullPictureBytes, 0);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    m_stopPacing.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (SUCCEEDED(hr) && !m_stopPacing) hr = HRESULT_FROM_WIN32(::GetLastError());
    if (FAILED(hr) && phr) *phr = hr;
}

CVirtualCamerPin::~CVirtualCamerPin() = default;

STDMETHODIMP CVirtualCamerPin::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IAMStreamConfig)) return GetInterface(static_cast<IAMStreamConfig*>(this), out);
    if (IsEqualIID(iid, IID_IKsPropertySet)) return GetInterface(static_cast<IKsPropertySet*>(this), out);
    return CSourceStream::NonDelegatingQueryInterface(iid, out);
}

// Formats and negotiation

HRESULT CVirtualCamerPin::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (position == 0) return type->Set(m_mt);
    if (position < 0) return E_INVALIDARG;
    if (position > kLastListedPosition) return VFW_S_NO_MORE_ITEMS;
    return MakeListedVideoType(position, type);
}

HRESULT CVirtualCamerPin::CheckMediaType(const CMediaType* type) {
    PinDebugText(kCheckMediaTypeText);
    if (!type) return E_POINTER;
    return IsConnectableType(*type) ? S_OK : E_INVALIDARG;
}

HRESULT CVirtualCamerPin::SetMediaType(const CMediaType* type) {
    CAutoLock lock(m_pFilter->pStateLock());
    HRESULT hr = CSourceStream::SetMediaType(type);
    if (FAILED(hr)) return hr;
    const VIDEOINFOHEADER* format = VideoHeaderOf(m_mt);
    if (!format) return E_UNEXPECTED;
    const bool nv12 = IsEqualGUID(m_mt.subtype, MEDIASUBTYPE_NV12);
    if (format->bmiHeader.biBitCount != (nv12 ? 12 : 24)) return E_INVALIDARG;
    const LONG width = format->bmiHeader.biWidth;
    const LONG height = format->bmiHeader.biHeight;
    const bool large = IsLargeSize(width, height);
    if (large) {
        m_layout = PackedLayout(nv12 ? NamedFrameFormat::NV12 : NamedFrameFormat::RGB24, width, height);
        try {
            m_standbyLarge.resize(PictureBytes(m_layout));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        m_standbyLargeDrawn = false;
    }
    m_large = large;
    m_sampleDuration = SampleDurationOf(m_mt);
    m_width = width;
    m_height = height;
    char text[kSetMediaTypeTextRoom];
    std::snprintf(text, sizeof text, kSetMediaTypeText, static_cast<int>(m_width), static_cast<int>(m_height));
    PinDebugText(text);
    return S_OK;
}

HRESULT CVirtualCamerPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    const VIDEOINFOHEADER* format = VideoHeaderOf(m_mt);
    if (!format) return E_UNEXPECTED;
    // One buffer: a sample is only ever filled while none is downstream.
    request->cBuffers = 1;
    request->cbBuffer = static_cast<long>(format->bmiHeader.biSizeImage);
    // A large type from another filter may leave its image size out.
    if (m_large) request->cbBuffer = std::max(request->cbBuffer, static_cast<long>(PictureBytes(m_layout)));
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CVirtualCamerPin::Active() {
    m_nextStart = 0;
    m_activeMs = ::timeGetTime();
    m_active.store(PerformanceTime100ns());
    ::ResetEvent(m_stopPacing.get());
    return CSourceStream::Active();
}

HRESULT CVirtualCamerPin::Inactive() {
    // A sample held back for pacing is let go at once: the worker has to
    // end before the stop can complete.
    ::SetEvent(m_stopPacing.get());
    return CSourceStream::Inactive();
}

// Frames

HRESULT CVirtualCamerPin::FillBuffer(IMediaSample* sample) {
    if (!m_standbyTried) {
        if (LoadStandbyPicture(ModuleOfThisCode(), m_standbyFull.data()))
            HalveImage(m_standbyFull.data(), m_standbyHalf.data());
        m_standbyTried = true;
    }
    if (!sample) return E_POINTER;

    CAutoLock lock(&m_frameLock);
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    const long size = sample->GetSize();
    const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
    const NamedSource named = {SessionNamedFrameExchange(), CameraImageId()};
    if (m_large) {
        if (!m_standbyLargeDrawn) {
            DrawPicture(PackedLayout(NamedFrameFormat::RGB24, kFullWidth, kFullHeight), m_standbyFull.data(),
                        m_layout, m_standbyLarge.data());
            m_standbyLargeDrawn = true;
        }
        FillLargeSample(SharedFrameExchange(), SharedFrameGuard(), named, m_layout, m_standbyLarge.data(), data,
                        room);
    } else {
        const SampleSources sources = {m_standbyFull.data(), m_standbyHalf.data(), m_halfScratch.data()};
        FillSample(SharedFrameExchange(), SharedFrameGuard(), m_width, m_height, sources, data, room, named);
    }

    REFERENCE_TIME start = m_nextStart;
    REFERENCE_TIME stop = start + m_sampleDuration;
    sample->SetTime(&start, &stop);
    m_nextStart = stop;
    sample->SetSyncPoint(TRUE);

    const LONGLONG reference = PacingReferenceTime(m_camera->runStart.load(), m_active.load());
    m_pacingTimer.Wait(PacingDelay(start, PerformanceTime100ns() - reference), m_stopPacing.get());
    return S_OK;
}

// IQualityControl

STDMETHODIMP CVirtualCamerPin::Notify(IBaseFilter*, Quality) { return E_FAIL; }

// IAMStreamConfig

STDMETHODIMP CVirtualCamerPin::SetFormat(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    const bool hadFormat = m_mt.pbFormat != nullptr;
    HRESULT hr = m_mt.Set(*type);
    if (FAILED(hr)) return hr;
    if (!hadFormat) return E_UNEXPECTED;
    if (IsConnected()) {
        // The new type is entry 0 of the list now, so the reconnection
        // proposes it first; what it achieves is the graph's business.
        if (IFilterGraph* graph = m_pFilter->GetFilterGraph()) graph->Reconnect(static_cast<IPin*>(this));
    }
    return S_OK;
}

STDMETHODIMP CVirtualCamerPin::GetFormat(AM_MEDIA_TYPE** type) {
    if (!type) return E_POINTER;
    // Under the state lock, so that a SetFormat on another thread cannot
    // free the format block while it is copied.
    CAutoLock lock(m_pFilter->pStateLock());
    *type = CreateMediaType(&m_mt);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CVirtualCamerPin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = kCapabilityCount;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CVirtualCamerPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
    if (!type || !caps) return E_POINTER;
    *type = nullptr;
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType listed;
    HRESULT hr = GetMediaType(index, &listed);
    if (FAILED(hr)) return hr;
    // Past the end of the list the type is empty. Nothing is handed out
    // with a failure: the caller would not free it.
    const VIDEOINFOHEADER* format = VideoHeaderOf(listed);
    if (!IsEqualGUID(listed.formattype, FORMAT_VideoInfo) || !format) return E_INVALIDARG;
    *type = CreateMediaType(&listed);
    if (!*type) return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS filled;
    FillStreamCaps(format->bmiHeader, &filled);
    std::memcpy(caps, &filled, sizeof filled);
    return S_OK;
}

// IKsPropertySet

STDMETHODIMP CVirtualCamerPin::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) { return E_NOTIMPL; }

STDMETHODIMP CVirtualCamerPin::Get(REFGUID propSet, DWORD id, void*, DWORD, void* propertyData, DWORD dataLength,
                                   DWORD* bytesReturned) {
    return GetPinCategoryProperty(propSet, id, propertyData, dataLength, bytesReturned);
}

STDMETHODIMP CVirtualCamerPin::QuerySupported(REFGUID, DWORD, DWORD*) { return S_OK; }
