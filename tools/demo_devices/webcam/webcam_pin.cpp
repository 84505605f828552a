#include "tools/demo_devices/webcam/webcam_pin.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "tools/demo_devices/webcam/frame_conversion.h"
#include "tools/demo_devices/webcam/jpeg_picture.h"
#include "tools/demo_devices/webcam/picture_scaling.h"
#include "tools/demo_devices/webcam/test_card.h"
#include "tools/demo_devices/webcam/video_types.h"

namespace {

// Room for a Smart Tee that holds one frame while it asks for the next.
constexpr long kBufferCount = 4;

std::vector<VideoFormat> DefaultFormats() {
    std::vector<VideoFormat> formats;
    ParseVideoFormats(kDefaultFormats, &formats);
    return formats;
}


}  // namespace

CWebcamPin::CWebcamPin(HRESULT* phr, CDemoSource* filter)
    : CLiveStream(L"demo webcam pin", phr, filter), m_formats(DefaultFormats()) {
    HRESULT hr = MakeVideoType(m_formats[0], &m_mt);
    if (FAILED(hr) && phr) *phr = hr;
}

STDMETHODIMP CWebcamPin::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IAMStreamConfig)) return GetInterface(static_cast<IAMStreamConfig*>(this), out);
    if (IsEqualIID(iid, IID_IKsPropertySet)) return GetInterface(static_cast<IKsPropertySet*>(this), out);
    return CLiveStream::NonDelegatingQueryInterface(iid, out);
}

void CWebcamPin::Configure(std::vector<VideoFormat> formats, std::shared_ptr<const BgrPicture> picture,
                           REFERENCE_TIME loseAt, REFERENCE_TIME stallAt) {
    CAutoLock lock(m_pFilter->pStateLock());
    m_formats = std::move(formats);
    m_picture = std::move(picture);
    m_loseAt = loseAt;
    m_stallAt = stallAt;
    m_preferred = 0;
    MakeVideoType(m_formats[0], &m_mt);
    IncrementTypeVersion();
}

HRESULT CWebcamPin::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (position < 0) return E_INVALIDARG;
    if (position >= static_cast<int>(m_formats.size())) return VFW_S_NO_MORE_ITEMS;
    int index = position == 0 ? m_preferred : position - 1;
    if (position > 0 && index >= m_preferred) ++index;
    return MakeVideoType(m_formats[index], type);
}

HRESULT CWebcamPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    return FindVideoFormat(m_formats, *type) >= 0 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CWebcamPin::SetMediaType(const CMediaType* type) {
    CAutoLock lock(m_pFilter->pStateLock());
    const int index = FindVideoFormat(m_formats, *type);
    if (index < 0) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = CLiveStream::SetMediaType(type);
    if (FAILED(hr)) return hr;
    const VideoFormat& format = m_formats[index];
    try {
        m_still = m_picture ? ScalePicture(*m_picture, format.width, format.height)
                            : DrawTestCard(format.width, format.height);
        m_work = m_still;
        if (format.layout == PixelLayout::Mjpg)
            m_frame = EncodeJpeg(m_still);
        else
            m_frame.assign(FrameBytes(format.layout, format.width, format.height), 0);
    } catch (const std::bad_alloc&) {
        m_current = -1;
        return E_OUTOFMEMORY;
    }
    ConvertRows(m_still, format.layout, 0, format.height, m_frame.data());
    m_current = index;
    return S_OK;
}

HRESULT CWebcamPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_current < 0) return E_UNEXPECTED;
    return SetBuffers(allocator, request, static_cast<long>(m_frame.size()), kBufferCount);
}

HRESULT CWebcamPin::OnThreadStartPlay() {
    m_frameNumber = 0;
    return S_OK;
}

HRESULT CWebcamPin::FillBuffer(IMediaSample* sample) {
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    if (m_current < 0 || sample->GetSize() < static_cast<long>(m_frame.size())) return E_UNEXPECTED;
    if (m_lost || (m_loseAt > 0 && FrameStartAt(m_formats[m_current], m_frameNumber) >= m_loseAt)) return Vanish();
    if (m_stallAt != kNeverStalls && FrameStartAt(m_formats[m_current], m_frameNumber) >= m_stallAt) return Stall();
    // The test card's moving marker is drawn into uncompressed frames only:
    // an MJPG frame is the one JPEG made at connection.
    if (!m_picture && m_formats[m_current].layout != PixelLayout::Mjpg) {
        const VideoFormat& format = m_formats[m_current];
        DrawMarker(m_still, &m_work, m_frameNumber);
        const MarkerBand band = MarkerBandOf(format.width, format.height);
        ConvertRows(m_work, format.layout, band.top, band.rows, m_frame.data());
    }
    std::memcpy(data, m_frame.data(), m_frame.size());
    sample->SetActualDataLength(static_cast<long>(m_frame.size()));
    REFERENCE_TIME start = FrameStartAt(m_formats[m_current], m_frameNumber);
    REFERENCE_TIME stop = FrameStartAt(m_formats[m_current], ++m_frameNumber);
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(start == 0);
    // A camera hands a frame out once it has been taken.
    WaitUntil(start);
    return S_OK;
}

HRESULT CWebcamPin::Vanish() {
    if (!m_lost) {
        m_lost = true;
        // Counted for the receiver, whose FreeEventParams may release an
        // interface parameter: a leak on a lost device beats one release
        // too many.
        IUnknown* device = static_cast<IBaseFilter*>(m_pFilter);
        device->AddRef();
        if (FAILED(m_pFilter->NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(device), 0))) device->Release();
    }
    // A removed device stays removed: no sample until the graph stops it
    // (the end of stream that follows the stop reaches no one).
    WaitUntilHalted();
    return S_FALSE;
}

HRESULT CWebcamPin::Stall() {
    // The end of stream that follows the stop reaches no one, as for a
    // removed device.
    WaitUntilHalted();
    return S_FALSE;
}

// IAMStreamConfig

STDMETHODIMP CWebcamPin::SetFormat(AM_MEDIA_TYPE* type) {
    CAutoLock lock(m_pFilter->pStateLock());
    const int index = type ? FindVideoFormat(m_formats, *type) : 0;
    if (index < 0) return VFW_E_INVALIDMEDIATYPE;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    m_preferred = index;
    IncrementTypeVersion();
    if (IsConnected() && index != m_current) {
        // The chosen format is first in the list now, so the reconnection
        // proposes it first.
        if (IFilterGraph* graph = m_pFilter->GetFilterGraph()) return graph->Reconnect(static_cast<IPin*>(this));
    }
    return S_OK;
}

STDMETHODIMP CWebcamPin::GetFormat(AM_MEDIA_TYPE** type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType current;
    HRESULT hr = MakeVideoType(m_formats[IsConnected() && m_current >= 0 ? m_current : m_preferred], &current);
    if (FAILED(hr)) return hr;
    *type = CreateMediaType(&current);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CWebcamPin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    *count = static_cast<int>(m_formats.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CWebcamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
    if (!type || !caps) return E_POINTER;
    *type = nullptr;
    CAutoLock lock(m_pFilter->pStateLock());
    if (index < 0) return E_INVALIDARG;
    if (index >= static_cast<int>(m_formats.size())) return S_FALSE;
    CMediaType listed;
    HRESULT hr = MakeVideoType(m_formats[index], &listed);
    if (FAILED(hr)) return hr;
    *type = CreateMediaType(&listed);
    if (!*type) return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS filled;
    FillVideoCaps(m_formats[index], &filled);
    std::memcpy(caps, &filled, sizeof filled);
    return S_OK;
}
