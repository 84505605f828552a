#pragma once
// A single-threaded COM apartment for the life of the object, shared by both
// deliverables. A thread already in another apartment model keeps it: the
// apartment that could not be entered is not left either.
#include <objbase.h>

class ScopedComApartment {
public:
    ScopedComApartment() : m_result(::CoInitialize(nullptr)) {}
    ~ScopedComApartment() {
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

private:
    HRESULT m_result;
};
