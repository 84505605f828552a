#pragma once
// IKsPropertySet of a capture pin: the pin category, which capture programs
// read to find the pin to capture from. Pins derive from it and provide
// IUnknown themselves.
#include "camera/filter/ks_property_set.h"

class CCapturePinCategory : public IKsPropertySet {
public:
    STDMETHODIMP Set(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                     DWORD dataLength) override;
    STDMETHODIMP Get(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                     DWORD dataLength, DWORD* bytesReturned) override;
    STDMETHODIMP QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) override;

protected:
    virtual ~CCapturePinCategory() = default;
};
