#include "tools/demo_devices/filters/capture_pin_category.h"

#include <dshow.h>

#include "camera/filter/pin_category_property.h"

STDMETHODIMP CCapturePinCategory::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) { return E_PROP_ID_UNSUPPORTED; }

STDMETHODIMP CCapturePinCategory::Get(REFGUID propSet, DWORD id, void*, DWORD, void* propertyData, DWORD dataLength,
                                      DWORD* bytesReturned) {
    return GetPinCategoryProperty(propSet, id, propertyData, dataLength, bytesReturned);
}

STDMETHODIMP CCapturePinCategory::QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) {
    if (!IsEqualGUID(propSet, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (typeSupport) *typeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}
