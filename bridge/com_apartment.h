#pragma once
// COM for the bridge's thread, for as long as the object lives. The
// multithreaded apartment: the sample grabber calls the sink, and the sink
// the camera object, on the graph's streaming thread, and neither may be
// marshalled to a thread that is blocked waiting for graph events.
#include <windows.h>
#include <objbase.h>

class CComApartment {
public:
    CComApartment() : m_result(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CComApartment() {
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};
