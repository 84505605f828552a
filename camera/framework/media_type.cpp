#include "camera/framework/media_type.h"

#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.cbFormat != 0 || type.pbFormat) CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy) return nullptr;
    if (FAILED(CopyMediaType(copy, source))) {
        CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE() {
    lSampleSize = 1;
    bFixedSizeSamples = TRUE;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) : CMediaType() { Set(type); }
CMediaType::CMediaType(const CMediaType& type) : CMediaType() { Set(type); }
CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const CMediaType& type) {
    Set(type);
    return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
    Set(type);
    return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
    if (&type == this) return S_OK;
    FreeMediaType(*this);
    return CopyMediaType(this, &type);
}

void CMediaType::Clear() {
    FreeMediaType(*this);
    *static_cast<AM_MEDIA_TYPE*>(this) = AM_MEDIA_TYPE();
    lSampleSize = 1;
    bFixedSizeSamples = TRUE;
}

bool CMediaType::operator==(const CMediaType& other) const {
    return IsEqualGUID(majortype, other.majortype) && IsEqualGUID(subtype, other.subtype) &&
           IsEqualGUID(formattype, other.formattype) && cbFormat == other.cbFormat &&
           (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
    if (!IsEqualGUID(partial->majortype, GUID_NULL) && !IsEqualGUID(partial->majortype, majortype)) return false;
    if (!IsEqualGUID(partial->subtype, GUID_NULL) && !IsEqualGUID(partial->subtype, subtype)) return false;
    if (!IsEqualGUID(partial->formattype, GUID_NULL)) {
        if (!IsEqualGUID(partial->formattype, formattype)) return false;
        if (partial->cbFormat != cbFormat) return false;
        if (cbFormat != 0 && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

bool CMediaType::IsPartiallySpecified() const {
    return IsEqualGUID(majortype, GUID_NULL) || IsEqualGUID(formattype, GUID_NULL);
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block) return nullptr;
    std::memset(block, 0, length);
    if (pbFormat) CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
    BYTE* block = AllocFormatBuffer(length);
    if (!block) return false;
    if (length != 0) std::memcpy(block, format, length);
    return true;
}

void CMediaType::SetSampleSize(ULONG size) {
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}
