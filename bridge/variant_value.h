#pragma once
// A VARIANT that clears itself, as property bags hand them out.
#include <windows.h>
#include <oleauto.h>

class CVariant {
public:
    CVariant() { ::VariantInit(&m_value); }
    ~CVariant() { ::VariantClear(&m_value); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;

    const VARIANT& Get() const { return m_value; }
    VARIANT* Put() {
        ::VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};
