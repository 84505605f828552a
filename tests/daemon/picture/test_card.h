#pragma once
// The test card that test_card_producer writes and the picture tests look
// for (web_picture_test.py draws the same bars): 640 x 480 RGB24, bottom row
// first. Eight bars over the top 360 rows; below, a grey band with a 40 x 40
// white marker at x = (8 * frame) mod 600, rows 400 to 439 from the top.
#include <windows.h>

#include <vector>

constexpr LONG kTestCardWidth = 640;
constexpr LONG kTestCardHeight = 480;
constexpr LONG kTestCardBarRows = 360;
// Blue, green, red of each bar, left to right.
constexpr BYTE kTestCardBars[8][3] = {{235, 235, 235}, {16, 235, 235}, {235, 235, 16}, {16, 235, 16},
                                      {235, 16, 235},  {16, 16, 235},  {235, 16, 16},  {16, 16, 16}};

inline LONG TestCardMarkerX(int frame) { return (8 * frame) % 600; }

inline void DrawTestCard(int frame, std::vector<BYTE>& card) {
    card.assign(static_cast<size_t>(kTestCardWidth) * kTestCardHeight * 3, 0);
    const LONG marker = TestCardMarkerX(frame);
    for (LONG top = 0; top < kTestCardHeight; ++top) {
        BYTE* row = card.data() + static_cast<size_t>(kTestCardHeight - 1 - top) * kTestCardWidth * 3;
        for (LONG x = 0; x < kTestCardWidth; ++x) {
            BYTE* pixel = row + x * 3;
            if (top < kTestCardBarRows) {
                const BYTE* bar = kTestCardBars[x * 8 / kTestCardWidth];
                pixel[0] = bar[0], pixel[1] = bar[1], pixel[2] = bar[2];
            } else {
                const bool inMarker = top >= 400 && top < 440 && x >= marker && x < marker + 40;
                pixel[0] = pixel[1] = pixel[2] = inMarker ? 235 : 96;
            }
        }
    }
}
