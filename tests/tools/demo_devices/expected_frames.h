#pragma once
// What the demo webcam must deliver for a picture, worked out here from its
// documented rules (nearest-neighbour scaling pixel centre to pixel centre;
// BT.601 limited range in Microsoft's integer form, chroma averaged over
// pixel pairs or 2 x 2 blocks), and a test BMP to give it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// B, G, R rows top-down.
struct TestPicture {
    LONG width;
    LONG height;
    std::vector<uint8_t> bgr;
};

// A picture no two neighbouring pixels of which are alike.
TestPicture NoisyPicture(LONG width, LONG height);
// Writes it as a bottom-up 24-bit BMP; false when that failed.
bool WriteBmp(const TestPicture& picture, const std::wstring& path);
TestPicture Scaled(const TestPicture& picture, LONG width, LONG height);
// The frame in the layout of `subtype` (RGB24, RGB32, YUY2, NV12).
std::vector<uint8_t> ExpectedFrame(const TestPicture& picture, const GUID& subtype);
