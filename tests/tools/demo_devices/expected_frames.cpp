#include "tests/tools/demo_devices/expected_frames.h"

#include <dshow.h>
#include <uuids.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Yuv {
    int y, u, v;
};

Yuv ToYuv(const uint8_t* bgr) {
    const int b = bgr[0], g = bgr[1], r = bgr[2];
    return {(66 * r + 129 * g + 25 * b + 128) / 256 + 16, (-38 * r - 74 * g + 112 * b + 128 + 32768) / 256,
            (112 * r - 94 * g - 18 * b + 128 + 32768) / 256};
}

}  // namespace

TestPicture NoisyPicture(LONG width, LONG height) {
    TestPicture picture = {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    uint32_t state = 12345;
    for (uint8_t& byte : picture.bgr) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return picture;
}

bool WriteBmp(const TestPicture& picture, const std::wstring& path) {
    const DWORD stride = (picture.width * 3 + 3) & ~3u;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + stride * picture.height;
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = picture.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info, sizeof info, 1, out);
    std::vector<uint8_t> row(stride, 0);
    for (LONG y = picture.height - 1; y >= 0; --y) {
        std::copy_n(&picture.bgr[static_cast<size_t>(y) * picture.width * 3], picture.width * 3, row.begin());
        fwrite(row.data(), 1, row.size(), out);
    }
    return fclose(out) == 0;
}

TestPicture Scaled(const TestPicture& picture, LONG width, LONG height) {
    TestPicture scaled = {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (LONG y = 0; y < height; ++y) {
        for (LONG x = 0; x < width; ++x) {
            const LONG sx = (2 * x + 1) * picture.width / (2 * width);
            const LONG sy = (2 * y + 1) * picture.height / (2 * height);
            for (int c = 0; c < 3; ++c)
                scaled.bgr[(static_cast<size_t>(y) * width + x) * 3 + c] =
                    picture.bgr[(static_cast<size_t>(sy) * picture.width + sx) * 3 + c];
        }
    }
    return scaled;
}

std::vector<uint8_t> ExpectedFrame(const TestPicture& p, const GUID& subtype) {
    std::vector<uint8_t> frame;
    auto pixel = [&](LONG x, LONG y) { return &p.bgr[(static_cast<size_t>(y) * p.width + x) * 3]; };
    if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24) || IsEqualGUID(subtype, MEDIASUBTYPE_RGB32)) {
        const bool four = IsEqualGUID(subtype, MEDIASUBTYPE_RGB32);
        for (LONG y = p.height - 1; y >= 0; --y) {
            for (LONG x = 0; x < p.width; ++x) {
                frame.insert(frame.end(), pixel(x, y), pixel(x, y) + 3);
                if (four) frame.push_back(255);
            }
            while (frame.size() % 4) frame.push_back(0);
        }
    } else if (IsEqualGUID(subtype, MEDIASUBTYPE_YUY2)) {
        for (LONG y = 0; y < p.height; ++y) {
            for (LONG x = 0; x < p.width; x += 2) {
                const Yuv a = ToYuv(pixel(x, y)), b = ToYuv(pixel(x + 1, y));
                frame.insert(frame.end(), {uint8_t(a.y), uint8_t((a.u + b.u + 1) / 2), uint8_t(b.y),
                                           uint8_t((a.v + b.v + 1) / 2)});
            }
        }
    } else {
        for (LONG y = 0; y < p.height; ++y)
            for (LONG x = 0; x < p.width; ++x) frame.push_back(uint8_t(ToYuv(pixel(x, y)).y));
        for (LONG y = 0; y < p.height; y += 2) {
            for (LONG x = 0; x < p.width; x += 2) {
                const Yuv q[4] = {ToYuv(pixel(x, y)), ToYuv(pixel(x + 1, y)), ToYuv(pixel(x, y + 1)),
                                  ToYuv(pixel(x + 1, y + 1))};
                frame.push_back(uint8_t((q[0].u + q[1].u + q[2].u + q[3].u + 2) / 4));
                frame.push_back(uint8_t((q[0].v + q[1].v + q[2].v + q[3].v + 2) / 4));
            }
        }
    }
    return frame;
}
