#pragma once
// The webcam's picture when none is given: colour bars over the top two
// thirds, a grey ramp below, and a white square with a black rim that moves
// along the ramp one step a frame, so that a viewer sees the stream is live.
#include "tools/demo_devices/common/bmp_picture.h"

// The card without the marker.
BgrPicture DrawTestCard(LONG width, LONG height);

// The band of rows the marker moves in: even first row and even height, so
// that a format sharing chroma between row pairs can convert it alone.
struct MarkerBand {
    LONG top;
    LONG rows;
};
MarkerBand MarkerBandOf(LONG width, LONG height);

// Restores the band from `card` in `frame` and draws the marker of frame
// number `frame` into it.
void DrawMarker(const BgrPicture& card, BgrPicture* frame, unsigned long long frameNumber);
