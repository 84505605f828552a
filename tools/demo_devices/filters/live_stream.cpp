#include "tools/demo_devices/filters/live_stream.h"

#include <algorithm>

#include "tools/demo_devices/filters/demo_source.h"

CLiveStream::CLiveStream(LPCWSTR objectName, HRESULT* phr, CDemoSource* filter)
    : CSourceStream(objectName, phr, filter, L"Capture"), m_source(filter) {}

HRESULT CLiveStream::Active() {
    m_source->Pacer().Activate();
    return CSourceStream::Active();
}

HRESULT CLiveStream::Inactive() {
    m_source->Pacer().Halt();
    return CSourceStream::Inactive();
}

STDMETHODIMP CLiveStream::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT CLiveStream::SetBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, long bytes, long count) {
    request->cBuffers = std::max(request->cBuffers, count);
    request->cbBuffer = std::max(request->cbBuffer, bytes);
    request->cbAlign = std::max(request->cbAlign, 1L);
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < bytes || actual.cBuffers < 1 ? E_FAIL : S_OK;
}

bool CLiveStream::WaitUntil(REFERENCE_TIME due) { return m_source->Pacer().WaitUntil(due); }

void CLiveStream::WaitUntilHalted() { m_source->Pacer().WaitUntilHalted(); }
