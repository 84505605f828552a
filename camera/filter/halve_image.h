#pragma once
// The two picture sizes the camera delivers, and the conversion between them.
// Pictures are 24-bit (blue, green, red), rows packed and bottom-up.
#include <cstddef>
#include <cstdint>

constexpr int kFullWidth = 640;
constexpr int kFullHeight = 480;
constexpr int kHalfWidth = kFullWidth / 2;
constexpr int kHalfHeight = kFullHeight / 2;
constexpr int kPixelBytes = 3;
constexpr size_t kFullRowBytes = kFullWidth * kPixelBytes;
constexpr size_t kHalfRowBytes = kHalfWidth * kPixelBytes;
constexpr size_t kFullPictureBytes = kFullRowBytes * kFullHeight;  // 921,600
constexpr size_t kHalfPictureBytes = kHalfRowBytes * kHalfHeight;  // 230,400

// Writes the 320 x 240 picture whose pixel (x, y) is pixel (2x, 2y) of the
// 640 x 480 source: plain sampling, no filtering, so each byte is a source byte.
// Uses byte shuffles where the processor has them (SSSE3), else the portable
// pass below; both write the same bytes.
void HalveImage(const uint8_t* source, uint8_t* destination);
void HalveImagePortable(const uint8_t* source, uint8_t* destination);
// Whether HalveImage takes the shuffle pass on this processor.
bool HalveImageUsesShuffles();
