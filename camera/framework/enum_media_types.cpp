#include "camera/framework/enum_media_types.h"

#include "camera/framework/base_pin.h"
#include "camera/framework/media_type.h"

LONG CEnumMediaTypes::CurrentVersion() const { return m_source->GetMediaTypeVersion(); }

bool CEnumMediaTypes::Has(ULONG position) const {
    CMediaType type;
    return m_source->GetMediaType(static_cast<int>(position), &type) == S_OK;
}

HRESULT CEnumMediaTypes::Fetch(ULONG position, AM_MEDIA_TYPE** type) {
    CMediaType found;
    if (m_source->GetMediaType(static_cast<int>(position), &found) != S_OK) return S_FALSE;
    AM_MEDIA_TYPE* copy = CreateMediaType(&found);
    if (!copy) return E_OUTOFMEMORY;
    *type = copy;
    return S_OK;
}
