#include "tools/demo_devices/webcam/picture_scaling.h"

#include <cstring>

BgrPicture ScalePicture(const BgrPicture& source, LONG width, LONG height) {
    BgrPicture scaled;
    scaled.width = width;
    scaled.height = height;
    scaled.pixels.resize(static_cast<size_t>(width) * height * 3);
    std::vector<LONG> columns(static_cast<size_t>(width));
    for (LONG x = 0; x < width; ++x)
        columns[x] = static_cast<LONG>((2LL * x + 1) * source.width / (2LL * width));
    for (LONG y = 0; y < height; ++y) {
        const uint8_t* from = source.Row(static_cast<LONG>((2LL * y + 1) * source.height / (2LL * height)));
        uint8_t* to = scaled.Row(y);
        for (LONG x = 0; x < width; ++x) std::memcpy(to + 3 * x, from + 3 * columns[x], 3);
    }
    return scaled;
}
