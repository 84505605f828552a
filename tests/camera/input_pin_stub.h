#pragma once
// The base of the camera tests' hand-written input pins: what an output pin
// may call and these pins answer alike (always accepting, never flushing).
// A test pin adds the connection, its allocator and what it does with samples.
#include <windows.h>
#include <dshow.h>

class InputPinStub : public IPin, public IMemInputPin {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) {
            *out = static_cast<IPin*>(this);
        } else if (IsEqualIID(iid, IID_IMemInputPin)) {
            *out = static_cast<IMemInputPin*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        static_cast<IUnknown*>(*out)->AddRef();
        return S_OK;
    }

    // IPin
    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
        *direction = PINDIR_INPUT;
        return S_OK;
    }
    STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return S_OK; }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IMemInputPin
    STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }
};
