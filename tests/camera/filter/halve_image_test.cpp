// The 640 x 480 to 320 x 240 halving: both of its passes pick pixel (2x, 2y)
// for every output pixel (x, y) and nothing else.
#include "camera/filter/halve_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/camera/filter/camera_graph.h"

namespace {

size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return i;
    return a.size();
}

TEST(HalveImage, BothPassesTakeEverySecondPixelOfEverySecondRow) {
    std::mt19937 random(1234);
    std::vector<uint8_t> full(kFullPictureBytes);
    for (uint8_t& byte : full) byte = static_cast<uint8_t>(random());
    const std::vector<uint8_t> expected = HalvedPicture(full);

    // A guard byte behind the destination must stay as it was.
    std::vector<uint8_t> portable(kHalfPictureBytes + 1, 0xEE), dispatched(kHalfPictureBytes + 1, 0xEE);
    HalveImagePortable(full.data(), portable.data());
    HalveImage(full.data(), dispatched.data());
    EXPECT_EQ(0xEE, portable.back());
    EXPECT_EQ(0xEE, dispatched.back());
    portable.pop_back();
    dispatched.pop_back();
    EXPECT_EQ(kHalfPictureBytes, FirstDifference(portable, expected)) << "portable pass";
    EXPECT_EQ(kHalfPictureBytes, FirstDifference(dispatched, expected))
        << (HalveImageUsesShuffles() ? "shuffle pass" : "portable pass");
}

TEST(HalveImage, OddRowsAndColumnsDoNotReachTheResult) {
    // Only even rows and even columns hold 1s; the result is all 1s.
    std::vector<uint8_t> full(kFullPictureBytes, 0);
    for (size_t y = 0; y < 480; y += 2)
        for (size_t x = 0; x < 640; x += 2)
            for (size_t c = 0; c < 3; ++c) full[(y * 640 + x) * 3 + c] = 1;
    std::vector<uint8_t> half(kHalfPictureBytes, 9);
    HalveImage(full.data(), half.data());
    EXPECT_EQ(kHalfPictureBytes, FirstDifference(half, std::vector<uint8_t>(kHalfPictureBytes, 1)));
    std::fill(half.begin(), half.end(), 9);
    HalveImagePortable(full.data(), half.data());
    EXPECT_EQ(kHalfPictureBytes, FirstDifference(half, std::vector<uint8_t>(kHalfPictureBytes, 1)));
}

}  // namespace
