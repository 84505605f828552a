#pragma once
// The webcam's media types (VIDEOINFOHEADER, at each format's rate) and the
// capabilities it reports for each: one fixed size and rate a type.
#include <windows.h>
#include <dshow.h>

#include <vector>

#include "camera/framework/media_type.h"
#include "tools/demo_devices/common/video_formats.h"


HRESULT MakeVideoType(const VideoFormat& format, CMediaType* type);
// Index in `formats` of the format `type` asks for (subtype and size; the
// rate and the rest are ours to say), or -1.
int FindVideoFormat(const std::vector<VideoFormat>& formats, const AM_MEDIA_TYPE& type);
void FillVideoCaps(const VideoFormat& format, VIDEO_STREAM_CONFIG_CAPS* caps);
