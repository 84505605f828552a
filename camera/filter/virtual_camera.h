#pragma once
// The camera's one COM class: a source filter with a single output pin,
// which also takes injected frames through TranslateData_buf.
#include <windows.h>
#include <dshow.h>

#include <atomic>

#include "camera/filter/frame_exchange.h"
#include "camera/framework/source.h"

class CVirtualCamera : public CSource, public TranslateData_buf {
public:
    // The factory template's create function.
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    // IUnknown of IBaseFilter, IAMovieSetup and TranslateData_buf: the pin's
    // IAMStreamConfig and IKsPropertySet are found here, but not through
    // the non-delegating unknown.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // One pin, whatever the index.
    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    // The one pin, whatever the identifier, as GetPin ignores its index.
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

    // Records timeGetTime() in runStartMs (and the performance counter in
    // runStart) before the framework's Run.
    STDMETHODIMP Run(REFERENCE_TIME start) override;

    // TranslateData_buf: every instance writes the one shared record.
    STDMETHODIMP WriteFrame(const BYTE* data, LONG length) override;

    // timeGetTime() of the latest Run, read by the pin's worker for pacing;
    // the creation time until the first Run.
    std::atomic<DWORD> runStartMs;
    // The same moment on the performance counter (PerformanceTime100ns), which
    // the pin paces against.
    std::atomic<LONGLONG> runStart;

private:
    explicit CVirtualCamera(IUnknown* outer);
};
