#pragma once
// The webcam formats the bridge understands, and where their pictures lie.
#include <windows.h>
#include <dshow.h>

#include <cstddef>

enum class PixelFormat {
    Rgb24,    // B, G, R; DIB rows (padded to 4 bytes), bottom-up unless the height is negative
    Rgb32,    // B, G, R, X; DIB rows, bottom-up unless the height is negative
    Yuy2,     // Y0 U Y1 V for each pixel pair; rows top-down
    Nv12,     // Y plane, then one plane of U V pairs at half size; rows top-down
    Mjpg,     // compressed: the bridge decodes it into NV12 (DecodedPicture)
    Unknown,
};

// By the media type's subtype.
PixelFormat PixelFormatOf(const GUID& subtype);
const GUID& SubtypeOf(PixelFormat format);
const wchar_t* PixelFormatName(PixelFormat format);

// One picture as a sample carries it.
struct SourcePicture {
    PixelFormat format = PixelFormat::Unknown;
    int width = 0;
    int height = 0;        // always positive
    bool bottomUp = false; // RGB with a positive height
    size_t stride = 0;     // bytes of one row (of the Y plane for NV12); 0 for MJPG
};

// The bitmap header of a VIDEOINFOHEADER or VIDEOINFOHEADER2 type, or null.
const BITMAPINFOHEADER* BitmapHeaderOf(const AM_MEDIA_TYPE& type);

// The picture a VIDEOINFOHEADER or VIDEOINFOHEADER2 type describes (for
// MJPG its size alone); format Unknown when the type is of neither kind or
// not usable.
SourcePicture DescribePicture(const AM_MEDIA_TYPE& type);
// What the bridge turns a delivered picture into before it converts or
// writes it: MJPG of an even size is decoded into a packed NV12 picture of
// that size (jpeg_decoder.h); the others are taken as they come. Format
// Unknown for MJPG that cannot be decoded so.
SourcePicture DecodedPicture(const SourcePicture& delivered);
// Bytes a picture of that description needs.
size_t PictureBytes(const SourcePicture& picture);
