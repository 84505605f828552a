#include "camera/framework/enum_pins.h"

#include "camera/framework/base_filter.h"
#include "camera/framework/base_pin.h"

LONG CEnumPins::CurrentVersion() const { return m_source->GetPinVersion(); }

bool CEnumPins::Has(ULONG position) const { return position < static_cast<ULONG>(m_source->GetPinCount()); }

HRESULT CEnumPins::Fetch(ULONG position, IPin** pin) {
    if (!Has(position)) return S_FALSE;
    CBasePin* found = m_source->GetPin(static_cast<int>(position));
    if (!found) return S_FALSE;
    found->AddRef();
    *pin = found;
    return S_OK;
}
