#pragma once
// The output pin of a demo device: a source stream whose worker is paced
// by its filter's wall clock and that ignores quality messages, as a live
// device can do nothing about them.
#include <windows.h>
#include <dshow.h>

#include "camera/framework/framework.h"

class CDemoSource;

class CLiveStream : public CSourceStream {
public:
    CLiveStream(LPCWSTR objectName, HRESULT* phr, CDemoSource* filter);

    // The stream starts again at time 0.
    HRESULT Active() override;
    // A worker waiting for its sample's time lets go before the stop.
    HRESULT Inactive() override;
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

protected:
    // Asks for `count` buffers of `bytes` at least (or what the peer wants,
    // when more); E_FAIL when the allocator gives less.
    static HRESULT SetBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, long bytes, long count);
    // Waits until stream time `due` comes; false when the pin is stopping.
    bool WaitUntil(REFERENCE_TIME due);
    // Waits until the pin is being stopped.
    void WaitUntilHalted();

private:
    CDemoSource* m_source;  // owns us
};
