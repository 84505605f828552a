#pragma once
// IEnumPins over a framework filter's GetPinCount/GetPin.
#include <windows.h>
#include <dshow.h>

#include "camera/framework/unknown.h"

class CBaseFilter;

class CEnumPins : public CUnknown, public IEnumPins {
public:
    // Holds a reference on `filter` for its whole life. `version` is the
    // filter's pin version the position refers to.
    CEnumPins(CBaseFilter* filter, ULONG position, LONG version);
    ~CEnumPins() override;

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // VFW_E_ENUM_OUT_OF_SYNC once the filter's pins have changed; Reset
    // brings the enumerator back in step.
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** copy) override;

private:
    bool OutOfSync() const;

    CBaseFilter* m_filter;
    ULONG m_position;
    LONG m_version;
};
