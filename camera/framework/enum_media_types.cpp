#include "camera/framework/enum_media_types.h"

#include <new>

#include "camera/framework/base_pin.h"
#include "camera/framework/media_type.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, ULONG position, LONG version)
    : CUnknown(nullptr), m_pin(pin), m_position(position), m_version(version) {
    m_pin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pin->Release(); }

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumMediaTypes)) return GetInterface(static_cast<IEnumMediaTypes*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

bool CEnumMediaTypes::OutOfSync() const { return m_version != m_pin->GetMediaTypeVersion(); }

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
    if (!types) return E_POINTER;
    if (!fetched && count != 1) return E_POINTER;
    if (fetched) *fetched = 0;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG taken = 0;
    HRESULT result = S_OK;
    while (taken < count) {
        CMediaType type;
        if (m_pin->GetMediaType(static_cast<int>(m_position), &type) != S_OK) break;
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (!copy) {
            result = E_OUTOFMEMORY;
            break;
        }
        types[taken++] = copy;
        ++m_position;
    }
    if (fetched) *fetched = taken;
    if (FAILED(result) && taken == 0) return result;
    return taken == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count) {
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    while (count > 0) {
        CMediaType type;
        if (m_pin->GetMediaType(static_cast<int>(m_position), &type) != S_OK) return S_FALSE;
        ++m_position;
        --count;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
    m_version = m_pin->GetMediaTypeVersion();
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** copy) {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    auto* clone = new (std::nothrow) CEnumMediaTypes(m_pin, m_position, m_version);
    if (!clone) return E_OUTOFMEMORY;
    return clone->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(copy));
}
