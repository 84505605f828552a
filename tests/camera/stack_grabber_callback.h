#pragma once
// The base of the camera tests' sample grabber callbacks. The grabber holds
// a reference to its callback, but the callbacks live on the test's stack
// and outlive the graph, so there is no count to keep.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

class StackGrabberCallback : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(ISampleGrabberCB))) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    // The tests take samples through SampleCB only.
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }
};
