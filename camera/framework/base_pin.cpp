#include "camera/framework/base_pin.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "camera/framework/base_filter.h"
#include "camera/framework/enum_media_types.h"

using Microsoft::WRL::ComPtr;

CBasePin::CBasePin(LPCWSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT*, LPCWSTR pinName,
                   PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr),
      m_pFilter(filter),
      m_pLock(lock),
      m_pinName(pinName ? pinName : L""),
      m_dir(direction) {}

CBasePin::~CBasePin() = default;

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IPin)) return GetInterface(static_cast<IPin*>(this), out);
    if (IsEqualIID(iid, IID_IQualityControl)) return GetInterface(static_cast<IQualityControl*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }
STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

bool CBasePin::IsStopped() const { return m_pFilter->IsStopped(); }

STDMETHODIMP CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (!receivePin) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;

    CMediaType partial;
    if (type) {
        HRESULT hr = partial.Set(*type);
        if (FAILED(hr)) return hr;
        if (!partial.IsPartiallySpecified()) return AttemptConnection(receivePin, &partial);
    }

    // Our own list first: after a format change its first entry is the
    // type the application asked for.
    ComPtr<IEnumMediaTypes> ours;
    if (SUCCEEDED(EnumMediaTypes(&ours)) && SUCCEEDED(TryMediaTypes(receivePin, &partial, ours.Get()))) {
        return S_OK;
    }
    ComPtr<IEnumMediaTypes> theirs;
    if (SUCCEEDED(receivePin->EnumMediaTypes(&theirs)) &&
        SUCCEEDED(TryMediaTypes(receivePin, &partial, theirs.Get()))) {
        return S_OK;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types) {
    HRESULT hr = types->Reset();
    if (FAILED(hr)) return hr;
    for (;;) {
        AM_MEDIA_TYPE* next = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next) return VFW_E_NO_ACCEPTABLE_TYPES;
        CMediaType candidate;
        hr = candidate.Set(*next);
        DeleteMediaType(next);
        if (FAILED(hr)) return hr;
        if (!candidate.MatchesPartial(partial)) continue;
        if (SUCCEEDED(AttemptConnection(receivePin, &candidate))) return S_OK;
    }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type) {
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    if (CheckMediaType(type) != S_OK) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    hr = SetMediaType(type);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    m_Connected = receivePin;
    hr = receivePin->ReceiveConnection(this, type);
    if (FAILED(hr)) {
        m_Connected.Reset();
        BreakConnect();
        return hr;
    }
    hr = CompleteConnect(receivePin);
    if (FAILED(hr)) {
        receivePin->Disconnect();
        m_Connected.Reset();
        BreakConnect();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    CMediaType proposed;
    hr = proposed.Set(*type);
    if (FAILED(hr) || CheckMediaType(&proposed) != S_OK || FAILED(SetMediaType(&proposed))) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_Connected = connector;
    hr = CompleteConnect(connector);
    if (FAILED(hr)) {
        m_Connected.Reset();
        BreakConnect();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    if (!m_Connected) return S_FALSE;
    BreakConnect();
    m_Connected.Reset();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pin = m_Connected.Get();
    if (!*pin) return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        *type = AM_MEDIA_TYPE();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = m_pFilter;
    m_pFilter->AddRef();
    size_t length = m_pinName.size() < MAX_PIN_NAME - 1 ? m_pinName.size() : MAX_PIN_NAME - 1;
    wmemcpy(info->achName, m_pinName.c_str(), length);
    info->achName[length] = L'\0';
    info->dir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    size_t bytes = (m_pinName.size() + 1) * sizeof(WCHAR);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, m_pinName.c_str(), bytes);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CMediaType proposed;
    if (FAILED(proposed.Set(*type))) return S_FALSE;
    return CheckMediaType(&proposed) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (!types) return E_POINTER;
    *types = nullptr;
    auto* enumerator = new (std::nothrow) CEnumMediaTypes(this, 0, GetMediaTypeVersion());
    if (!enumerator) return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(types));
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

// Meant for input pins; a derived input pin acts on them.
STDMETHODIMP CBasePin::EndOfStream() { return S_OK; }
STDMETHODIMP CBasePin::BeginFlush() { return S_OK; }
STDMETHODIMP CBasePin::EndFlush() { return S_OK; }

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    m_tStart = start;
    m_tStop = stop;
    m_dRate = rate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter* sender, Quality quality) {
    IQualityControl* sink = m_pQSink;
    if (!sink) return E_NOTIMPL;
    return sink->Notify(sender, quality);
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* sink) {
    m_pQSink = sink;
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType*) {
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    return m_mt.Set(*type);
}

LONG CBasePin::GetMediaTypeVersion() { return InterlockedCompareExchange(&m_typeVersion, 0, 0); }

HRESULT CBasePin::CheckConnect(IPin* pin) {
    PIN_DIRECTION theirs;
    HRESULT hr = pin->QueryDirection(&theirs);
    if (FAILED(hr)) return hr;
    return theirs == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() { return S_OK; }

HRESULT CBasePin::Run(REFERENCE_TIME start) {
    m_tStart = start;
    return S_OK;
}

// CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(LPCWSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                               LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, phr, pinName, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() = default;

STDMETHODIMP CBaseOutputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    return VFW_E_INVALID_DIRECTION;
}

STDMETHODIMP CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    ComPtr<IMemInputPin> input;
    if (FAILED(pin->QueryInterface(IID_PPV_ARGS(&input)))) return E_NOINTERFACE;
    m_pInputPin = input;
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
    if (!m_pInputPin) return E_UNEXPECTED;
    m_pAllocator.Reset();
    return DecideAllocator(m_pInputPin.Get(), &m_pAllocator);
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator) m_pAllocator->Decommit();
    m_pAllocator.Reset();
    m_pInputPin.Reset();
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    if (!pin || !allocator) return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES wanted = {};
    if (FAILED(pin->GetAllocatorRequirements(&wanted))) wanted = ALLOCATOR_PROPERTIES();
    // The memory allocator refuses an alignment of 0.
    if (wanted.cbAlign == 0) wanted.cbAlign = 1;

    ComPtr<IMemAllocator> candidate;
    if (SUCCEEDED(pin->GetAllocator(&candidate)) && candidate) {
        ALLOCATOR_PROPERTIES request = wanted;
        if (SUCCEEDED(DecideBufferSize(candidate.Get(), &request)) &&
            SUCCEEDED(pin->NotifyAllocator(candidate.Get(), FALSE))) {
            *allocator = candidate.Detach();
            return S_OK;
        }
    }
    candidate.Reset();
    HRESULT hr = InitAllocator(&candidate);
    if (FAILED(hr)) return hr;
    ALLOCATOR_PROPERTIES request = wanted;
    hr = DecideBufferSize(candidate.Get(), &request);
    if (FAILED(hr)) return hr;
    hr = pin->NotifyAllocator(candidate.Get(), FALSE);
    if (FAILED(hr)) return hr;
    *allocator = candidate.Detach();
    return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(allocator));
}

HRESULT CBaseOutputPin::Active() {
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    if (!m_pInputPin) return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->NewSegment(start, stop, rate);
}
