#pragma once
// IPin and IQualityControl for framework pins. A pin lives inside its filter:
// its references are the filter's, and the filter deletes it.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "camera/framework/critical_section.h"
#include "camera/framework/media_type.h"
#include "camera/framework/unknown.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // `lock` is the lock that guards the connection (the filter's state lock).
    CBasePin(LPCWSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR pinName,
             PIN_DIRECTION direction);
    ~CBasePin() override;

    QV_DECLARE_IUNKNOWN
    // IPin, IQualityControl, IUnknown.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
    // The filter's references.
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin. Connect tries a fully specified type alone; otherwise it proposes
    // our own types (GetMediaType 0, 1, 2...) and then the receiver's, each
    // matching the partial type and passing CheckMediaType.
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IQualityControl: passed to the sink set with SetSink, else E_NOTIMPL.
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
    STDMETHODIMP SetSink(IQualityControl* sink) override;

    // What derived pins provide.
    // S_OK for a type the pin can connect with; anything else refuses it.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The type at `position`; VFW_S_NO_MORE_ITEMS past the end.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    // Stores the agreed type in m_mt.
    virtual HRESULT SetMediaType(const CMediaType* type);
    // Changes when the list of GetMediaType changes; enumerators compare it.
    virtual LONG GetMediaTypeVersion();
    // Connection steps: before a type is tried, after the peer accepted it,
    // and when the connection ends (or an attempt fails).
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT BreakConnect();
    // State changes of the filter, called under its state lock.
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME start);

    bool IsConnected() const { return m_Connected != nullptr; }
    // The connected pin, without a new reference.
    IPin* GetConnected() const { return m_Connected.Get(); }
    const std::wstring& Name() const { return m_pinName; }
    PIN_DIRECTION Direction() const { return m_dir; }
    CBaseFilter* Filter() const { return m_pFilter; }
    bool IsStopped() const;
    const CMediaType& CurrentMediaType() const { return m_mt; }

protected:
    void IncrementTypeVersion() { InterlockedIncrement(&m_typeVersion); }
    // One attempt with one type: CheckConnect, CheckMediaType, SetMediaType,
    // the peer's ReceiveConnection, CompleteConnect.
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);
    // Tries every type of `types` that matches `partial`.
    HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
    HRESULT DisconnectInternal();

    CBaseFilter* m_pFilter;  // owns us
    CCritSec* m_pLock;
    std::wstring m_pinName;
    PIN_DIRECTION m_dir;
    Microsoft::WRL::ComPtr<IPin> m_Connected;
    // The current type: the connection's, or the last one stored.
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = MAXLONGLONG;
    double m_dRate = 1.0;
    IQualityControl* m_pQSink = nullptr;  // not counted, by the interface's rule

private:
    volatile LONG m_typeVersion = 1;
};

// An output pin delivering to an IMemInputPin through a negotiated allocator.
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(LPCWSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR pinName);
    ~CBaseOutputPin() override;

    // An output pin is only ever the connecting side.
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    // Calls meant for input pins.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    // The peer must be an input pin with IMemInputPin.
    HRESULT CheckConnect(IPin* pin) override;
    // Negotiates the allocator.
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    // Commit and decommit the allocator.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // The request comes from the peer's GetAllocatorRequirements (zeroed
    // when it has none); set the allocator's properties with SetProperties.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // The peer's allocator when it offers one and DecideBufferSize accepts
    // it, else our own memory allocator; the peer is told with NotifyAllocator.
    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    // A new CLSID_MemoryAllocator.
    virtual HRESULT InitAllocator(IMemAllocator** allocator);

    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    Microsoft::WRL::ComPtr<IMemAllocator> m_pAllocator;
    Microsoft::WRL::ComPtr<IMemInputPin> m_pInputPin;
};
