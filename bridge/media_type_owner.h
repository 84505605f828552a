#pragma once
// Ownership of the AM_MEDIA_TYPEs that DirectShow hands out with
// CoTaskMemAlloc (IAMStreamConfig, IEnumMediaTypes, the grabber).
#include <windows.h>
#include <dshow.h>

#include <memory>

// Frees the format block and the reference a type may hold, not the struct.
void FreeMediaTypeContent(AM_MEDIA_TYPE& type);

struct MediaTypeDeleter {
    void operator()(AM_MEDIA_TYPE* type) const {
        FreeMediaTypeContent(*type);
        ::CoTaskMemFree(type);
    }
};
using UniqueMediaType = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

// A type held in a struct of our own whose content is freed with it.
class CMediaTypeContent {
public:
    CMediaTypeContent() : m_type() {}
    ~CMediaTypeContent() { FreeMediaTypeContent(m_type); }
    CMediaTypeContent(const CMediaTypeContent&) = delete;
    CMediaTypeContent& operator=(const CMediaTypeContent&) = delete;

    AM_MEDIA_TYPE& Get() { return m_type; }

private:
    AM_MEDIA_TYPE m_type;
};
