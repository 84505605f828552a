#include "bridge/pixel_format.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstdlib>

PixelFormat PixelFormatOf(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_RGB24) return PixelFormat::Rgb24;
    if (subtype == MEDIASUBTYPE_RGB32) return PixelFormat::Rgb32;
    if (subtype == MEDIASUBTYPE_YUY2) return PixelFormat::Yuy2;
    if (subtype == MEDIASUBTYPE_NV12) return PixelFormat::Nv12;
    if (subtype == MEDIASUBTYPE_MJPG) return PixelFormat::Mjpg;
    return PixelFormat::Unknown;
}

const GUID& SubtypeOf(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgb24: return MEDIASUBTYPE_RGB24;
    case PixelFormat::Rgb32: return MEDIASUBTYPE_RGB32;
    case PixelFormat::Yuy2: return MEDIASUBTYPE_YUY2;
    case PixelFormat::Nv12: return MEDIASUBTYPE_NV12;
    case PixelFormat::Mjpg: return MEDIASUBTYPE_MJPG;
    default: return GUID_NULL;
    }
}

const wchar_t* PixelFormatName(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgb24: return L"RGB24";
    case PixelFormat::Rgb32: return L"RGB32";
    case PixelFormat::Yuy2: return L"YUY2";
    case PixelFormat::Nv12: return L"NV12";
    case PixelFormat::Mjpg: return L"MJPG";
    default: return L"unknown";
    }
}

const BITMAPINFOHEADER* BitmapHeaderOf(const AM_MEDIA_TYPE& type) {
    if (type.pbFormat == nullptr) return nullptr;
    if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
    return nullptr;
}

SourcePicture DescribePicture(const AM_MEDIA_TYPE& type) {
    SourcePicture picture;
    const BITMAPINFOHEADER* header = BitmapHeaderOf(type);
    if (header == nullptr || type.majortype != MEDIATYPE_Video) return picture;
    const PixelFormat format = PixelFormatOf(type.subtype);
    const int width = header->biWidth;
    const int height = std::abs(header->biHeight);
    if (format == PixelFormat::Unknown || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return picture;
    // The 4:2:x formats share chroma between pixel pairs.
    if ((format == PixelFormat::Yuy2 || format == PixelFormat::Nv12) && (width % 2 != 0)) return picture;
    if (format == PixelFormat::Nv12 && height % 2 != 0) return picture;
    picture.format = format;
    picture.width = width;
    picture.height = height;
    switch (format) {
    case PixelFormat::Rgb24: picture.stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3); break;
    case PixelFormat::Rgb32: picture.stride = static_cast<size_t>(width) * 4; break;
    case PixelFormat::Yuy2: picture.stride = static_cast<size_t>(width) * 2; break;
    case PixelFormat::Nv12: picture.stride = static_cast<size_t>(width); break;
    default: break;
    }
    // DirectShow's rule: RGB is bottom-up unless the height is negative;
    // YUV is top-down whatever the sign.
    picture.bottomUp = (format == PixelFormat::Rgb24 || format == PixelFormat::Rgb32) && header->biHeight > 0;
    return picture;
}

SourcePicture DecodedPicture(const SourcePicture& delivered) {
    if (delivered.format != PixelFormat::Mjpg) return delivered;
    SourcePicture decoded;
    if (delivered.width % 2 != 0 || delivered.height % 2 != 0) return decoded;
    decoded.format = PixelFormat::Nv12;
    decoded.width = delivered.width;
    decoded.height = delivered.height;
    decoded.stride = static_cast<size_t>(delivered.width);
    return decoded;
}

size_t PictureBytes(const SourcePicture& picture) {
    const size_t rows = static_cast<size_t>(picture.height);
    if (picture.format == PixelFormat::Nv12) return picture.stride * rows + picture.stride * (rows / 2);
    return picture.stride * rows;
}
