#include "tools/demo_devices/microphone/microphone_pin.h"

#include <algorithm>
#include <cstring>

#include "tools/demo_devices/microphone/wave_format.h"

namespace {

// 50 ms a buffer unless the capture program asks otherwise.
constexpr long kDefaultBufferFrames = kMicSamplesPerSecond / 20;
constexpr long kMinBufferFrames = 1;
// Room for a Smart Tee that holds one buffer while it asks for the next.
constexpr long kDefaultBufferCount = 4;
constexpr LONGLONG kUnitsPerSecond = 10000000;

REFERENCE_TIME FramesToTime(LONGLONG frames) { return frames * kUnitsPerSecond / kMicSamplesPerSecond; }

}  // namespace

CMicrophonePin::CMicrophonePin(HRESULT* phr, CDemoSource* filter)
    : CLiveStream(L"demo microphone pin", phr, filter) {
    HRESULT hr = MakeMicrophoneType(&m_mt);
    if (FAILED(hr) && phr) *phr = hr;
}

STDMETHODIMP CMicrophonePin::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IAMStreamConfig)) return GetInterface(static_cast<IAMStreamConfig*>(this), out);
    if (IsEqualIID(iid, IID_IAMBufferNegotiation))
        return GetInterface(static_cast<IAMBufferNegotiation*>(this), out);
    if (IsEqualIID(iid, IID_IKsPropertySet)) return GetInterface(static_cast<IKsPropertySet*>(this), out);
    return CLiveStream::NonDelegatingQueryInterface(iid, out);
}

HRESULT CMicrophonePin::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return MakeMicrophoneType(type);
}

HRESULT CMicrophonePin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    return IsMicrophoneType(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMicrophonePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    const long frames =
        m_suggested.cbBuffer > 0 ? std::max(m_suggested.cbBuffer / kMicBlockAlign, kMinBufferFrames) : kDefaultBufferFrames;
    const long bytes = frames * kMicBlockAlign;
    HRESULT hr = SetBuffers(allocator, request, bytes, std::max(m_suggested.cBuffers, kDefaultBufferCount));
    if (SUCCEEDED(hr)) m_bufferBytes = bytes;
    return hr;
}

HRESULT CMicrophonePin::OnThreadStartPlay() {
    m_framesDone = 0;
    m_tone.Reset();
    return S_OK;
}

HRESULT CMicrophonePin::FillBuffer(IMediaSample* sample) {
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    if (m_bufferBytes <= 0 || sample->GetSize() < m_bufferBytes) return E_UNEXPECTED;
    const long frames = m_bufferBytes / kMicBlockAlign;
    m_tone.Fill(reinterpret_cast<int16_t*>(data), static_cast<size_t>(frames));
    sample->SetActualDataLength(m_bufferBytes);
    REFERENCE_TIME start = FramesToTime(m_framesDone);
    m_framesDone += frames;
    REFERENCE_TIME stop = FramesToTime(m_framesDone);
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(start == 0);
    // A microphone hands a buffer out once the time it covers has passed.
    WaitUntil(stop);
    return S_OK;
}

// IAMStreamConfig

STDMETHODIMP CMicrophonePin::SetFormat(AM_MEDIA_TYPE* type) {
    if (type && !IsMicrophoneType(*type)) return VFW_E_INVALIDMEDIATYPE;
    return S_OK;
}

STDMETHODIMP CMicrophonePin::GetFormat(AM_MEDIA_TYPE** type) {
    if (!type) return E_POINTER;
    CMediaType current;
    HRESULT hr = MakeMicrophoneType(&current);
    if (FAILED(hr)) return hr;
    *type = CreateMediaType(&current);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMicrophonePin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = 1;
    *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CMicrophonePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
    if (!type || !caps) return E_POINTER;
    *type = nullptr;
    if (index < 0) return E_INVALIDARG;
    if (index > 0) return S_FALSE;
    HRESULT hr = GetFormat(type);
    if (FAILED(hr)) return hr;
    AUDIO_STREAM_CONFIG_CAPS filled;
    FillMicrophoneCaps(&filled);
    std::memcpy(caps, &filled, sizeof filled);
    return S_OK;
}

// IAMBufferNegotiation

STDMETHODIMP CMicrophonePin::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) {
    if (!properties) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    m_suggested = *properties;
    return S_OK;
}

STDMETHODIMP CMicrophonePin::GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) {
    if (!properties) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetProperties(properties);
}
