#pragma once
// The one property the camera's pin answers through IKsPropertySet: its
// category, which makes capture applications treat it as a capture pin.
#include <windows.h>

// IKsPropertySet::Get for AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY; any
// other set or id is refused.
HRESULT GetPinCategoryProperty(REFGUID propSet, DWORD id, void* data, DWORD dataLength, DWORD* bytesReturned);
