#include "camera/filter/pin_category_property.h"

#include <dshow.h>
#include <uuids.h>

HRESULT GetPinCategoryProperty(REFGUID propSet, DWORD id, void* data, DWORD dataLength, DWORD* bytesReturned) {
    if (!IsEqualGUID(propSet, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (!data && !bytesReturned) return E_POINTER;
    // The size goes out even when the buffer then turns out too short, so a
    // caller learns what to allocate.
    if (bytesReturned) *bytesReturned = sizeof(GUID);
    if (!data) return S_OK;
    if (dataLength < sizeof(GUID)) return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}
