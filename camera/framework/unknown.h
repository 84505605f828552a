#pragma once
// Reference counting and aggregation shared by every COM object of the
// framework. An object's interfaces forward IUnknown to its owner: the outer
// unknown when aggregated, else the object's own non-delegating unknown.
#include <windows.h>
#include <unknwn.h>

#include "camera/framework/live_objects.h"

// Same slot layout as IUnknown, so a pointer to it can stand for one.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown, public CLiveObject {
public:
    explicit CUnknown(IUnknown* outer);
    // The object name is for debugging only and is not kept.
    CUnknown(LPCWSTR objectName, IUnknown* outer);
    virtual ~CUnknown() = default;

    // Answers IID_IUnknown with the non-delegating unknown; derived classes
    // add their interfaces and call this last.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    IUnknown* GetOwner() const { return m_owner; }
    IUnknown* NonDelegatingUnknown() {
        return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this));
    }

protected:
    // The current count of the non-delegating unknown (for tests and traces).
    LONG RefCount() const { return m_refCount; }

private:
    volatile LONG m_refCount = 0;
    IUnknown* m_owner;  // not counted: the owner holds us, not the reverse
};

// Hands out `itf` with a new reference; E_POINTER when `out` is null.
HRESULT GetInterface(IUnknown* itf, void** out);

// IUnknown of an interface implemented by a CUnknown: everything goes to
// the owner.
#define QV_DECLARE_IUNKNOWN                                                  \
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {         \
        return GetOwner()->QueryInterface(iid, out);                         \
    }                                                                        \
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); } \
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }
