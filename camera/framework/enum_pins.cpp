#include "camera/framework/enum_pins.h"

#include <new>

#include "camera/framework/base_filter.h"
#include "camera/framework/base_pin.h"

CEnumPins::CEnumPins(CBaseFilter* filter, ULONG position, LONG version)
    : CUnknown(nullptr), m_filter(filter), m_position(position), m_version(version) {
    m_filter->AddRef();
}

CEnumPins::~CEnumPins() { m_filter->Release(); }

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumPins)) return GetInterface(static_cast<IEnumPins*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

bool CEnumPins::OutOfSync() const { return m_version != m_filter->GetPinVersion(); }

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins) return E_POINTER;
    if (!fetched && count != 1) return E_POINTER;
    if (fetched) *fetched = 0;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG taken = 0;
    const ULONG total = static_cast<ULONG>(m_filter->GetPinCount());
    while (taken < count && m_position < total) {
        CBasePin* pin = m_filter->GetPin(static_cast<int>(m_position));
        if (!pin) break;
        ++m_position;
        pins[taken] = pin;
        pin->AddRef();
        ++taken;
    }
    if (fetched) *fetched = taken;
    return taken == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count) {
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG total = static_cast<ULONG>(m_filter->GetPinCount());
    const ULONG left = m_position < total ? total - m_position : 0;
    if (count > left) {
        m_position = total;
        return S_FALSE;
    }
    m_position += count;
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
    m_version = m_filter->GetPinVersion();
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** copy) {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    auto* clone = new (std::nothrow) CEnumPins(m_filter, m_position, m_version);
    if (!clone) return E_OUTOFMEMORY;
    return clone->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(copy));
}
