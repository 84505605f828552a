#pragma once
// The skeleton of the framework's enumerators (IEnumPins, IEnumMediaTypes):
// a position in a numbered list kept by a source object (a filter's pins, a
// pin's types) that carries a version. Once the version has moved, the
// enumerator is out of step until Reset.
//
// Derived supplies, for its source:
//   LONG CurrentVersion() const;
//   HRESULT Fetch(ULONG position, Element* out);  S_OK with a new reference or
//                                                 copy, S_FALSE past the end, or an error
//   bool Has(ULONG position) const;
// and a constructor (Source*, ULONG position, LONG version).
#include <windows.h>
#include <dshow.h>

#include <new>

#include "camera/framework/unknown.h"

template <typename Derived, typename Interface, typename Element, typename Source, const IID& Iid>
class CSequenceEnumerator : public CUnknown, public Interface {
public:
    // Holds a reference on `source` for its whole life. `version` is the
    // source's version that `position` refers to.
    CSequenceEnumerator(Source* source, ULONG position, LONG version)
        : CUnknown(nullptr), m_source(source), m_position(position), m_version(version) {
        m_source->AddRef();
    }
    ~CSequenceEnumerator() override { m_source->Release(); }

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, Iid)) return GetInterface(static_cast<Interface*>(this), out);
        return CUnknown::NonDelegatingQueryInterface(iid, out);
    }

    STDMETHODIMP Next(ULONG count, Element* items, ULONG* fetched) override {
        if (!items) return E_POINTER;
        if (!fetched && count != 1) return E_POINTER;
        if (fetched) *fetched = 0;
        if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
        ULONG taken = 0;
        HRESULT result = S_OK;
        while (taken < count) {
            result = Self().Fetch(m_position, &items[taken]);
            if (result != S_OK) break;
            ++m_position;
            ++taken;
        }
        if (fetched) *fetched = taken;
        // Items already handed out are the caller's; only an empty result
        // reports the failure.
        if (FAILED(result) && taken == 0) return result;
        return taken == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override {
        if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
        for (; count > 0; --count, ++m_position)
            if (!Self().Has(m_position)) return S_FALSE;
        return S_OK;
    }

    STDMETHODIMP Reset() override {
        m_version = Self().CurrentVersion();
        m_position = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(Interface** copy) override {
        if (!copy) return E_POINTER;
        *copy = nullptr;
        if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
        auto* clone = new (std::nothrow) Derived(m_source, m_position, m_version);
        if (!clone) return E_OUTOFMEMORY;
        return clone->NonDelegatingQueryInterface(Iid, reinterpret_cast<void**>(copy));
    }

protected:
    Source* m_source;

private:
    Derived& Self() { return static_cast<Derived&>(*this); }
    bool OutOfSync() { return m_version != Self().CurrentVersion(); }

    ULONG m_position;
    LONG m_version;
};
