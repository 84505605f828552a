#pragma once
// The strongest frequency of 16-bit stereo PCM at 44,100 Hz (left channel),
// found with Goertzel's algorithm: a coarse scan, then 1 Hz steps around
// the best coarse bin.
#include <cstdint>
#include <vector>

double StrongestFrequency(const std::vector<uint8_t>& pcm);
