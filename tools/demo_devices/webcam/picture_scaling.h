#pragma once
// The webcam's picture at each offered size. Nearest-neighbour with pixel
// centres mapped onto pixel centres: target pixel (x, y) takes source pixel
//   sx = (2x + 1) * sourceWidth / (2 * width),  sy = (2y + 1) * sourceHeight / (2 * height)
// (integer division). The picture fills the frame (no bars: the aspect
// ratio follows the format), and at its native size it is copied exactly.
// Cheap enough to do once per connection and exact to reproduce in tests.
#include "tools/demo_devices/common/bmp_picture.h"

BgrPicture ScalePicture(const BgrPicture& source, LONG width, LONG height);
