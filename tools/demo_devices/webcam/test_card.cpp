#include "tools/demo_devices/webcam/test_card.h"

#include <algorithm>
#include <cstring>

namespace {

// White, yellow, cyan, green, magenta, red, blue, black, as B, G, R.
const uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                             {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};

void Fill(uint8_t* pixel, uint8_t b, uint8_t g, uint8_t r) {
    pixel[0] = b;
    pixel[1] = g;
    pixel[2] = r;
}

}  // namespace

BgrPicture DrawTestCard(LONG width, LONG height) {
    BgrPicture card;
    card.width = width;
    card.height = height;
    card.pixels.resize(static_cast<size_t>(width) * height * 3);
    const LONG barsEnd = height * 2 / 3;
    for (LONG y = 0; y < height; ++y) {
        uint8_t* row = card.Row(y);
        for (LONG x = 0; x < width; ++x) {
            if (y < barsEnd) {
                const uint8_t* bar = kBars[x * 8 / width];
                Fill(row + 3 * x, bar[0], bar[1], bar[2]);
            } else {
                const auto grey = static_cast<uint8_t>(width > 1 ? x * 255 / (width - 1) : 128);
                Fill(row + 3 * x, grey, grey, grey);
            }
        }
    }
    return card;
}

MarkerBand MarkerBandOf(LONG width, LONG height) {
    LONG side = std::min(width, height) / 6 & ~1L;
    if (side < 2) side = std::min(height & ~1L, 2L);
    LONG top = (height * 2 / 3 + (height / 3 - side) / 2) & ~1L;
    if (top + side > height) top = 0;
    return {top, side};
}

void DrawMarker(const BgrPicture& card, BgrPicture* frame, unsigned long long frameNumber) {
    const MarkerBand band = MarkerBandOf(card.width, card.height);
    if (band.rows <= 0) return;
    const size_t rowBytes = static_cast<size_t>(card.width) * 3;
    std::memcpy(frame->Row(band.top), card.Row(band.top), rowBytes * band.rows);
    const LONG side = std::min(band.rows, card.width);
    const LONG travel = card.width - side + 1;
    const auto left = static_cast<LONG>(frameNumber * 4 % static_cast<unsigned long long>(travel));
    for (LONG y = 0; y < band.rows; ++y) {
        uint8_t* row = frame->Row(band.top + y);
        for (LONG x = 0; x < side; ++x) {
            const bool rim = y == 0 || x == 0 || y == band.rows - 1 || x == side - 1;
            const uint8_t value = rim ? 0 : 255;
            Fill(row + 3 * (left + x), value, value, value);
        }
    }
}
