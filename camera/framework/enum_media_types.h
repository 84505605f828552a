#pragma once
// IEnumMediaTypes over a framework pin's GetMediaType list. Types handed out
// are task memory; the caller frees them with DeleteMediaType.
#include "camera/framework/sequence_enumerator.h"

class CBasePin;

class CEnumMediaTypes
    : public CSequenceEnumerator<CEnumMediaTypes, IEnumMediaTypes, AM_MEDIA_TYPE*, CBasePin, IID_IEnumMediaTypes> {
public:
    using CSequenceEnumerator::CSequenceEnumerator;

    LONG CurrentVersion() const;
    HRESULT Fetch(ULONG position, AM_MEDIA_TYPE** type);
    bool Has(ULONG position) const;
};
