#pragma once
// DirectShow's IKsPropertySet. The toolchain declares the interface only in
// dsound.h, in DirectSound's slot order (Get, Set, QuerySupport); capture
// clients call DirectShow's order (Set, Get, QuerySupported), so it is
// declared here with the same IID. Do not include dsound.h next to this.
#include <windows.h>
#include <unknwn.h>

extern "C" const IID IID_IKsPropertySet;  // in strmiids

MIDL_INTERFACE("31EFAC30-515C-11D0-A9AA-00AA0061BE93")
IKsPropertySet : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Set(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                                          void* propertyData, DWORD dataLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                                          void* propertyData, DWORD dataLength, DWORD* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) = 0;
};
__CRT_UUID_DECL(IKsPropertySet, 0x31efac30, 0x515c, 0x11d0, 0xa9, 0xaa, 0x00, 0xaa, 0x00, 0x61, 0xbe, 0x93)
