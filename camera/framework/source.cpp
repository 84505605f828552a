#include "camera/framework/source.h"

#include <algorithm>

using Microsoft::WRL::ComPtr;

CSource::CSource(LPCWSTR name, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(name, outer, clsid), m_cStateLock(m_stateLock) {}

CSource::CSource(LPCWSTR name, IUnknown* outer, REFCLSID clsid, HRESULT*) : CSource(name, outer, clsid) {}

CSource::~CSource() {
    // A filter released without being stopped: its workers call into the
    // pins, which must still be whole while the workers end.
    if (!IsStopped()) {
        for (CSourceStream* pin : m_paStreams) {
            if (pin->IsConnected()) pin->Inactive();
        }
        m_state = State_Stopped;
    }
    std::vector<CSourceStream*> pins;
    pins.swap(m_paStreams);
    for (CSourceStream* pin : pins) delete pin;
}

int CSource::GetPinCount() {
    CAutoLock lock(&m_stateLock);
    return static_cast<int>(m_paStreams.size());
}

CBasePin* CSource::GetPin(int index) {
    CAutoLock lock(&m_stateLock);
    if (index < 0 || index >= static_cast<int>(m_paStreams.size())) return nullptr;
    return m_paStreams[index];
}

HRESULT CSource::AddPin(CSourceStream* pin) {
    if (!pin) return E_POINTER;
    CAutoLock lock(&m_stateLock);
    try {
        m_paStreams.push_back(pin);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    IncrementPinVersion();
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pin) {
    CAutoLock lock(&m_stateLock);
    auto found = std::find(m_paStreams.begin(), m_paStreams.end(), pin);
    if (found == m_paStreams.end()) return S_FALSE;
    m_paStreams.erase(found);
    IncrementPinVersion();
    return S_OK;
}

int CSource::FindPinNumber(IPin* pin) {
    CAutoLock lock(&m_stateLock);
    for (size_t i = 0; i < m_paStreams.size(); ++i) {
        if (static_cast<IPin*>(m_paStreams[i]) == pin) return static_cast<int>(i);
    }
    return -1;
}

// CSourceStream

CSourceStream::CSourceStream(LPCWSTR objectName, HRESULT* phr, CSource* filter, LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, filter->pStateLock(), phr, pinName), m_pFilter(filter) {
    HRESULT hr = filter->AddPin(this);
    if (FAILED(hr) && phr) *phr = hr;
}

CSourceStream::~CSourceStream() = default;

HRESULT CSourceStream::GetMediaType(int position, CMediaType* type) { return CBasePin::GetMediaType(position, type); }

HRESULT CSourceStream::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    for (int position = 0;; ++position) {
        CMediaType offered;
        if (GetMediaType(position, &offered) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
        if (offered == *type) return S_OK;
    }
}

HRESULT CSourceStream::Active() {
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected()) return S_OK;
    if (ThreadExists()) return S_FALSE;
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (!Create()) {
        CBaseOutputPin::Inactive();
        return E_FAIL;
    }
    hr = CommandInit();
    if (FAILED(hr)) {
        Close();
        CBaseOutputPin::Inactive();
        return hr;
    }
    return CommandPause();
}

HRESULT CSourceStream::Inactive() {
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected()) return S_OK;
    // Decommitting first releases a worker waiting for a free buffer.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        CommandStop();
        CommandExit();
        Close();
    }
    return hr;
}

HRESULT CSourceStream::OnThreadCreate() { return S_OK; }
HRESULT CSourceStream::OnThreadDestroy() { return S_OK; }
HRESULT CSourceStream::OnThreadStartPlay() { return S_OK; }

DWORD CSourceStream::ThreadProc() {
    DWORD command;
    while ((command = GetRequest()) != CMD_INIT) Reply(static_cast<DWORD>(E_UNEXPECTED));
    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(static_cast<DWORD>(hr));
        return 1;
    }
    Reply(S_OK);

    for (;;) {
        command = GetRequest();
        switch (command) {
            case CMD_EXIT:
                Reply(S_OK);
                OnThreadDestroy();
                return 0;
            case CMD_PAUSE:
            case CMD_RUN:
                Reply(S_OK);
                DoBufferProcessingLoop();
                break;
            case CMD_STOP:
                Reply(S_OK);
                break;
            default:
                Reply(static_cast<DWORD>(E_UNEXPECTED));
                break;
        }
    }
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
    HRESULT hr = OnThreadStartPlay();
    if (FAILED(hr)) return hr;
    DWORD command;
    while (!CheckRequest(&command)) {
        ComPtr<IMediaSample> sample;
        if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
            Sleep(1);
            continue;
        }
        hr = FillBuffer(sample.Get());
        if (hr == S_OK) {
            hr = Deliver(sample.Get());
            sample.Reset();
            if (hr != S_OK) return hr;
        } else if (SUCCEEDED(hr)) {
            sample.Reset();
            DeliverEndOfStream();
            return S_FALSE;
        } else {
            sample.Reset();
            DeliverEndOfStream();
            m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
            return hr;
        }
    }
    return S_OK;
}
