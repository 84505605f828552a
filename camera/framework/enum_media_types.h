#pragma once
// IEnumMediaTypes over a framework pin's GetMediaType list.
#include <windows.h>
#include <dshow.h>

#include "camera/framework/unknown.h"

class CBasePin;

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    // Holds a reference on `pin` (that is, on its filter) for its whole
    // life. `version` is the pin's type version the position refers to.
    CEnumMediaTypes(CBasePin* pin, ULONG position, LONG version);
    ~CEnumMediaTypes() override;

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // Types handed out are task memory; the caller frees them with
    // DeleteMediaType. VFW_E_ENUM_OUT_OF_SYNC once the pin's list changed.
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** copy) override;

private:
    bool OutOfSync() const;

    CBasePin* m_pin;
    ULONG m_position;
    LONG m_version;
};
