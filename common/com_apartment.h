#pragma once
// A COM apartment (single-threaded unless asked) for the life of the
// object, shared by the deliverables. A thread already in another apartment
// model keeps it: the apartment that could not be entered is not left either.
#include <objbase.h>

#include "common/non_copyable.h"

class ScopedComApartment : private CNonCopyable {
public:
    // COINIT_MULTITHREADED for a thread whose objects are called from other
    // threads that must not be marshalled to it.
    explicit ScopedComApartment(DWORD model = COINIT_APARTMENTTHREADED) : m_result(::CoInitializeEx(nullptr, model)) {}
    ~ScopedComApartment() {
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }

    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};
