#pragma once
// A 24-bit BMP file read into memory: what the webcam shows.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Pixels as B, G, R bytes, rows top-down and unpadded.
struct BgrPicture {
    LONG width = 0;
    LONG height = 0;
    std::vector<uint8_t> pixels;

    uint8_t* Row(LONG y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
    const uint8_t* Row(LONG y) const { return pixels.data() + static_cast<size_t>(y) * width * 3; }
};

// Empty with the picture on success, else why the file is not a readable
// uncompressed 24-bit BMP of at most 4096 x 4096 (bottom-up or top-down).
std::wstring LoadBmpPicture(const std::wstring& path, BgrPicture* picture);
