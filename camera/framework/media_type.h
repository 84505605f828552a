#pragma once
// AM_MEDIA_TYPE with an owned format block, and the task-memory helpers that
// hand types across interfaces.
#include <windows.h>
#include <dshow.h>

// Frees the format block and the unknown of `type`, leaving it empty.
void FreeMediaType(AM_MEDIA_TYPE& type);
// Frees a type allocated with CreateMediaType (or by another filter).
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Deep copy into `target`, whose old contents are not freed; E_OUTOFMEMORY
// leaves it without a format block.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A task-memory copy for callers that free it with DeleteMediaType.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    CMediaType(const AM_MEDIA_TYPE& type);  // NOLINT: copies like a value
    CMediaType(const CMediaType& type);
    ~CMediaType();
    CMediaType& operator=(const CMediaType& type);
    CMediaType& operator=(const AM_MEDIA_TYPE& type);

    // Copy of `type`; E_OUTOFMEMORY when its format block cannot be copied.
    HRESULT Set(const AM_MEDIA_TYPE& type);
    void Clear();

    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    bool IsValid() const { return !IsEqualGUID(majortype, GUID_NULL); }
    // True when every field that `partial` specifies (not GUID_NULL, format
    // block present) equals ours.
    bool MatchesPartial(const CMediaType* partial) const;
    bool IsPartiallySpecified() const;

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Replaces the format block with `length` zeroed bytes; null when out of memory.
    BYTE* AllocFormatBuffer(ULONG length);
    bool SetFormat(const BYTE* format, ULONG length);
    void SetFormatType(const GUID* type) { formattype = *type; }
    void SetType(const GUID* type) { majortype = *type; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    void SetSampleSize(ULONG size);
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }
};
