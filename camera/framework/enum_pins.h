#pragma once
// IEnumPins over a framework filter's GetPinCount/GetPin.
#include "camera/framework/sequence_enumerator.h"

class CBaseFilter;

class CEnumPins : public CSequenceEnumerator<CEnumPins, IEnumPins, IPin*, CBaseFilter, IID_IEnumPins> {
public:
    using CSequenceEnumerator::CSequenceEnumerator;

    LONG CurrentVersion() const;
    HRESULT Fetch(ULONG position, IPin** pin);
    bool Has(ULONG position) const;
};
