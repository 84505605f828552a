// Drawing pictures at the camera's sizes: a copy when size and format match,
// otherwise the whole picture scaled into the largest centred rectangle of
// its aspect ratio with black bars, upright and not mirrored, in NV12 and in
// bottom-up RGB24 either way.
#include "camera/filter/picture_scaling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Bgr {
    int b, g, r;
};

// Top left red, top right green, bottom left blue, bottom right white.
Bgr QuadrantColour(bool right, bool bottom) {
    if (!bottom) return right ? Bgr{0, 255, 0} : Bgr{0, 0, 255};
    return right ? Bgr{255, 255, 255} : Bgr{255, 0, 0};
}

// The test's own studio-range BT.601 conversions, in floating point.
void ToYuv(const Bgr& c, uint8_t* y, uint8_t* u, uint8_t* v) {
    *y = static_cast<uint8_t>(std::lround(16 + 0.257 * c.r + 0.504 * c.g + 0.098 * c.b));
    *u = static_cast<uint8_t>(std::lround(128 - 0.148 * c.r - 0.291 * c.g + 0.439 * c.b));
    *v = static_cast<uint8_t>(std::lround(128 + 0.439 * c.r - 0.368 * c.g - 0.071 * c.b));
}

Bgr FromYuv(int y, int u, int v) {
    const double c = 1.164 * (y - 16), d = u - 128, e = v - 128;
    auto clamp = [](double x) { return static_cast<int>(std::lround(std::min(255.0, std::max(0.0, x)))); };
    return Bgr{clamp(c + 2.018 * d), clamp(c - 0.391 * d - 0.813 * e), clamp(c + 1.596 * e)};
}

std::vector<uint8_t> QuadrantPicture(const PictureLayout& l) {
    std::vector<uint8_t> picture(PictureBytes(l), 0);
    for (LONG y = 0; y < l.height; ++y)
        for (LONG x = 0; x < l.width; ++x) {
            const Bgr c = QuadrantColour(x >= l.width / 2, y >= l.height / 2);
            if (l.format == NamedFrameFormat::RGB24) {
                uint8_t* p = &picture[static_cast<size_t>(l.height - 1 - y) * l.stride + x * 3];
                p[0] = static_cast<uint8_t>(c.b), p[1] = static_cast<uint8_t>(c.g), p[2] = static_cast<uint8_t>(c.r);
            } else {
                uint8_t yy, u, v;
                ToYuv(c, &yy, &u, &v);
                picture[static_cast<size_t>(y) * l.stride + x] = yy;
                uint8_t* uv = &picture[static_cast<size_t>(l.height + y / 2) * l.stride + (x & ~1)];
                uv[0] = u, uv[1] = v;
            }
        }
    return picture;
}

// The colour at (x, y), counted from the top left as the picture is seen.
Bgr ColourAt(const PictureLayout& l, const std::vector<uint8_t>& picture, LONG x, LONG y) {
    if (l.format == NamedFrameFormat::RGB24) {
        const uint8_t* p = &picture[static_cast<size_t>(l.height - 1 - y) * l.stride + x * 3];
        return Bgr{p[0], p[1], p[2]};
    }
    const uint8_t* uv = &picture[static_cast<size_t>(l.height + y / 2) * l.stride + (x & ~1)];
    return FromYuv(picture[static_cast<size_t>(y) * l.stride + x], uv[0], uv[1]);
}

std::string Describe(const Bgr& c) {
    return "(b" + std::to_string(c.b) + " g" + std::to_string(c.g) + " r" + std::to_string(c.r) + ")";
}

bool Near(const Bgr& a, const Bgr& b) {
    return std::abs(a.b - b.b) <= 6 && std::abs(a.g - b.g) <= 6 && std::abs(a.r - b.r) <= 6;
}

constexpr NamedFrameFormat kNv12 = NamedFrameFormat::NV12;
constexpr NamedFrameFormat kRgb = NamedFrameFormat::RGB24;

TEST(PictureScaling, CopiesWhenSizeAndFormatMatch) {
    struct Case {
        PictureLayout source;
        PictureLayout destination;
    };
    const Case cases[] = {
        {{kRgb, 640, 480, 1920}, {kRgb, 640, 480, 1920}},
        {{kNv12, 1920, 1080, 1920}, {kNv12, 1920, 1080, 1920}},
        {{kNv12, 1280, 720, 1344}, {kNv12, 1280, 720, 1280}},  // a padded source row
        {{kRgb, 1280, 720, 3844}, {kRgb, 1280, 720, 3840}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> source(PictureBytes(c.source));
        for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + i / 4093);
        std::vector<uint8_t> drawn(PictureBytes(c.destination), 0xEE);
        DrawPicture(c.source, source.data(), c.destination, drawn.data());
        const size_t rowBytes = c.destination.format == kNv12 ? c.destination.width : c.destination.width * 3;
        const LONG rows = c.destination.format == kNv12 ? c.destination.height * 3 / 2 : c.destination.height;
        for (LONG r = 0; r < rows; ++r)
            ASSERT_TRUE(std::equal(drawn.begin() + r * c.destination.stride,
                                   drawn.begin() + r * c.destination.stride + rowBytes,
                                   source.begin() + r * c.source.stride))
                << c.source.width << "x" << c.source.height << " stride " << c.source.stride << ": row " << r;
    }
}

TEST(PictureScaling, ScalesUprightWithAspectKeptAndBlackBars) {
    struct Case {
        PictureLayout source;
        PictureLayout destination;
        FittedRect fit;  // where the picture must land
    };
    const Case cases[] = {
        {{kRgb, 640, 480, 1920}, {kNv12, 1280, 720, 1280}, {160, 0, 960, 720}},
        {{kRgb, 640, 480, 1920}, {kRgb, 1920, 1080, 5760}, {240, 0, 1440, 1080}},
        {{kNv12, 1280, 720, 1280}, {kNv12, 1920, 1080, 1920}, {0, 0, 1920, 1080}},
        {{kNv12, 1920, 1080, 1920}, {kRgb, 640, 480, 1920}, {0, 60, 640, 360}},
        {{kNv12, 1920, 1080, 1920}, {kRgb, 320, 240, 960}, {0, 30, 320, 180}},
        {{kRgb, 1280, 720, 3840}, {kNv12, 1280, 720, 1280}, {0, 0, 1280, 720}},  // a conversion only
        {{kNv12, 640, 480, 640}, {kRgb, 1280, 720, 3840}, {160, 0, 960, 720}},
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.source.width) + "x" + std::to_string(c.source.height) +
                                 (c.source.format == kNv12 ? " NV12" : " RGB24") + " into " +
                                 std::to_string(c.destination.width) + "x" + std::to_string(c.destination.height) +
                                 (c.destination.format == kNv12 ? " NV12" : " RGB24");
        SCOPED_TRACE(name);
        const FittedRect fit = FitPicture(c.source.width, c.source.height, c.destination.width,
                                          c.destination.height, c.destination.format == kNv12);
        EXPECT_EQ(c.fit.x, fit.x);
        EXPECT_EQ(c.fit.y, fit.y);
        EXPECT_EQ(c.fit.width, fit.width);
        EXPECT_EQ(c.fit.height, fit.height);

        const std::vector<uint8_t> source = QuadrantPicture(c.source);
        std::vector<uint8_t> drawn(PictureBytes(c.destination), 0x77);
        DrawPicture(c.source, source.data(), c.destination, drawn.data());
        // Each quadrant's colour in the middle of where that quadrant lands.
        for (int q = 0; q < 4; ++q) {
            const bool right = q & 1, bottom = q & 2;
            const LONG x = c.fit.x + c.fit.width * (right ? 3 : 1) / 4;
            const LONG y = c.fit.y + c.fit.height * (bottom ? 3 : 1) / 4;
            const Bgr seen = ColourAt(c.destination, drawn, x, y);
            EXPECT_TRUE(Near(QuadrantColour(right, bottom), seen))
                << (bottom ? "bottom " : "top ") << (right ? "right" : "left") << " quadrant at " << x << "," << y
                << " is " << Describe(seen);
        }
        // The bars, where there are any, and the corners of the picture
        // beside them.
        const Bgr black = {0, 0, 0};
        std::vector<std::pair<LONG, LONG>> bars;
        if (c.fit.x > 0) bars = {{0, 0}, {c.fit.x - 1, c.destination.height - 1},
                                 {c.fit.x + c.fit.width, 0}, {c.destination.width - 1, c.destination.height - 1}};
        if (c.fit.y > 0) bars = {{0, 0}, {c.destination.width - 1, c.fit.y - 1},
                                 {0, c.fit.y + c.fit.height}, {c.destination.width - 1, c.destination.height - 1}};
        for (const auto& [x, y] : bars)
            EXPECT_TRUE(Near(black, ColourAt(c.destination, drawn, x, y)))
                << "bar at " << x << "," << y << " is " << Describe(ColourAt(c.destination, drawn, x, y));
        EXPECT_TRUE(Near(QuadrantColour(false, false), ColourAt(c.destination, drawn, c.fit.x, c.fit.y)))
            << "the picture's top left corner";
        EXPECT_TRUE(Near(QuadrantColour(true, true), ColourAt(c.destination, drawn, c.fit.x + c.fit.width - 1,
                                                               c.fit.y + c.fit.height - 1)))
            << "the picture's bottom right corner";
    }
}

// The integer formulas every YUV conversion of ours shares, pixel by pixel:
// what the drawing must give byte for byte, with or without vector rows.
void IntegerBgr(int y, int u, int v, uint8_t* bgr) {
    auto clamp = [](int x) { return static_cast<uint8_t>(std::min(255, std::max(0, x))); };
    const int c = 298 * (y - 16) + 128;
    bgr[0] = clamp((c + 516 * (u - 128)) >> 8);
    bgr[1] = clamp((c - 100 * (u - 128) - 208 * (v - 128)) >> 8);
    bgr[2] = clamp((c + 409 * (v - 128)) >> 8);
}

// NV12 drawn into RGB24 at its own width and at half of it (the sizes the
// vector rows take), widths with and without a tail beyond eight pixels,
// from noise that reaches every clamp.
TEST(PictureScaling, Nv12IntoRgbAtOwnAndHalfWidthIsExact) {
    struct Case {
        PictureLayout source;
        PictureLayout destination;
        LONG step;  // source pixels a destination pixel moves on
    };
    const Case cases[] = {
        {{kNv12, 1920, 1080, 1920}, {kRgb, 1920, 1080, 5760}, 1},
        {{kNv12, 1284, 722, 1284}, {kRgb, 1284, 722, 3852}, 1},
        {{kNv12, 1920, 1080, 1920}, {kRgb, 960, 540, 2880}, 2},
        {{kNv12, 1300, 720, 1304}, {kRgb, 650, 360, 1950}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.source.width) + "x" + std::to_string(c.source.height) + " into " +
                     std::to_string(c.destination.width));
        std::vector<uint8_t> source(PictureBytes(c.source));
        uint32_t seed = 12345;
        for (uint8_t& b : source) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
        std::vector<uint8_t> drawn(PictureBytes(c.destination), 0x77);
        DrawPicture(c.source, source.data(), c.destination, drawn.data());
        const LONG offset = c.step - 1;  // the pair's second pixel when halved
        size_t wrong = 0;
        std::string first;
        for (LONG y = 0; y < c.destination.height; ++y)
            for (LONG x = 0; x < c.destination.width; ++x) {
                const LONG sx = x * c.step + offset, sy = y * c.step + offset;
                const uint8_t* uv = &source[static_cast<size_t>(c.source.height + sy / 2) * c.source.stride + (sx & ~1)];
                uint8_t expected[3];
                IntegerBgr(source[static_cast<size_t>(sy) * c.source.stride + sx], uv[0], uv[1], expected);
                const uint8_t* seen =
                    &drawn[static_cast<size_t>(c.destination.height - 1 - y) * c.destination.stride + x * 3];
                if (std::equal(expected, expected + 3, seen)) continue;
                if (wrong++ == 0) first = "first at " + std::to_string(x) + "," + std::to_string(y);
            }
        EXPECT_EQ(0u, wrong) << first;
    }
}

}  // namespace
