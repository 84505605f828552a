#pragma once
// JPEGs decoded back with WIC, for tests that check what the daemon sent.
#include <windows.h>

#include <string>
#include <vector>

// Blue, green, red a pixel, top row first, rows of width * 3 bytes; false
// when WIC cannot decode the bytes. The thread must have COM initialised.
bool DecodeJpeg(const std::string& jpeg, UINT& width, UINT& height, std::vector<BYTE>& bgr);

// Peak signal-to-noise ratio in dB over all bytes (99 when equal).
double PsnrOfBytes(const std::vector<BYTE>& a, const std::vector<BYTE>& b);
