#pragma once
// The NV12 picture that test producers write into the named frame exchange:
// no two neighbouring rows or columns alike, and nothing symmetric, so that
// a flip, a mirror or a shift shows.
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> Nv12TestPicture(int width, int height) {
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3 / 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(16 + (y * 3 + x * 5 + (x * y) % 7) % 220);
    uint8_t* chroma = picture.data() + static_cast<size_t>(width) * height;
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            chroma[static_cast<size_t>(y) * width + 2 * x] = static_cast<uint8_t>(64 + (y * 2 + x) % 128);
            chroma[static_cast<size_t>(y) * width + 2 * x + 1] = static_cast<uint8_t>(64 + (x * 3 + y) % 128);
        }
    return picture;
}
