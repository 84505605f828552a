#pragma once
// A picture as the camera holds it, borrowed: the frame exchange's two
// formats (NV12 top row first, RGB24 bottom row first), which the stand-by
// bitmap shares.
#include <windows.h>

#include "common/named_frame_exchange.h"

struct PictureView {
    LONG width = 0;
    LONG height = 0;
    NamedFrameFormat format = NamedFrameFormat::RGB24;
    LONG stride = 0;  // bytes a row (NV12: of both planes)
    const BYTE* bytes = nullptr;
};

// Where a picture came from: what the virtual camera delivers at that moment.
enum class PictureSource {
    Camera,   // the newest fresh frame of the exchange
    Standby,  // no fresh frame: the stand-by picture
};
