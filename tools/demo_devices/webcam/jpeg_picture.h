#pragma once
// The demo webcam's MJPG frame: its picture encoded once as a baseline JPEG
// (JFIF, YCbCr without subsampling, one quantisation step of 4 for every
// coefficient), which every sample then carries, as a real MJPG webcam
// carries a JPEG a frame. Its Huffman tables are not the usual ones but
// plain fixed-length codes (4 bits for each DC category, 8 for each AC
// symbol): valid baseline JPEG that any decoder reads, and short code.
#include <cstdint>
#include <vector>

#include "tools/demo_devices/common/bmp_picture.h"

std::vector<uint8_t> EncodeJpeg(const BgrPicture& picture);
