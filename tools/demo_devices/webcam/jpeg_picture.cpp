#include "tools/demo_devices/webcam/jpeg_picture.h"

#include <algorithm>
#include <cmath>

namespace {

const int kQuantStep = 4;
const int kDcCodeBits = 4;  // 12 DC categories
const int kAcCodeBits = 8;  // 162 AC symbols

// The order in which a block's coefficients are sent: along the
// anti-diagonals, alternating direction.
std::vector<int> ZigZag() {
    std::vector<int> order;
    for (int sum = 0; sum < 15; ++sum) {
        for (int i = 0; i <= sum; ++i) {
            const int row = sum % 2 ? i : sum - i;
            const int col = sum - row;
            if (row < 8 && col < 8) order.push_back(row * 8 + col);
        }
    }
    return order;
}

// The AC symbols in code order: end of block, sixteen zeros, then each run
// of zeros (0..15) before a value of each size (1..10).
std::vector<uint8_t> AcSymbols() {
    std::vector<uint8_t> symbols = {0x00, 0xF0};
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size <= 10; ++size) symbols.push_back(static_cast<uint8_t>(run << 4 | size));
    return symbols;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void Put(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = static_cast<uint8_t>(m_byte << 1 | ((bits >> i) & 1));
            if (++m_filled == 8) Flush();
        }
    }
    // The last byte padded with ones, as the standard asks.
    void Finish() {
        while (m_filled != 0) Put(1, 1);
    }

private:
    void Flush() {
        m_out.push_back(m_byte);
        if (m_byte == 0xFF) m_out.push_back(0x00);  // a data byte, not a marker
        m_byte = 0;
        m_filled = 0;
    }
    std::vector<uint8_t>& m_out;
    uint8_t m_byte = 0;
    int m_filled = 0;
};

int Category(int value) {
    int magnitude = std::abs(value), bits = 0;
    while (magnitude) {
        ++bits;
        magnitude >>= 1;
    }
    return bits;
}

// A value's extra bits: itself when positive, else its ones' complement.
uint32_t ValueBits(int value, int category) {
    return static_cast<uint32_t>(value < 0 ? value + (1 << category) - 1 : value);
}

void PutMarker(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& payload) {
    const size_t length = payload.size() + 2;
    out.insert(out.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    out.insert(out.end(), payload.begin(), payload.end());
}

// One Huffman table whose `count` symbols all have codes of `bits` bits.
std::vector<uint8_t> HuffmanTable(uint8_t classAndId, int bits, const std::vector<uint8_t>& symbols) {
    std::vector<uint8_t> table = {classAndId};
    for (int length = 1; length <= 16; ++length)
        table.push_back(static_cast<uint8_t>(length == bits ? symbols.size() : 0));
    table.insert(table.end(), symbols.begin(), symbols.end());
    return table;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const BgrPicture& picture) {
    const int width = picture.width, height = picture.height;
    std::vector<uint8_t> out = {0xFF, 0xD8};
    PutMarker(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    std::vector<uint8_t> quant = {0x00};
    quant.insert(quant.end(), 64, static_cast<uint8_t>(kQuantStep));
    PutMarker(out, 0xDB, quant);
    PutMarker(out, 0xC0,
              {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8),
               static_cast<uint8_t>(width), 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
    std::vector<uint8_t> dcSymbols;
    for (uint8_t category = 0; category < 12; ++category) dcSymbols.push_back(category);
    const std::vector<uint8_t> acSymbols = AcSymbols();
    std::vector<uint8_t> tables = HuffmanTable(0x00, kDcCodeBits, dcSymbols);
    const std::vector<uint8_t> ac = HuffmanTable(0x10, kAcCodeBits, acSymbols);
    tables.insert(tables.end(), ac.begin(), ac.end());
    PutMarker(out, 0xC4, tables);
    PutMarker(out, 0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});

    uint8_t acCode[256] = {};
    for (size_t i = 0; i < acSymbols.size(); ++i) acCode[acSymbols[i]] = static_cast<uint8_t>(i);
    const std::vector<int> zigzag = ZigZag();
    double cosines[8][8];
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u)
            cosines[x][u] = std::cos((2 * x + 1) * u * 3.14159265358979323846 / 16) * (u == 0 ? std::sqrt(0.5) : 1.0);

    BitWriter bits(out);
    int previousDc[3] = {0, 0, 0};
    for (int blockY = 0; blockY < height; blockY += 8) {
        for (int blockX = 0; blockX < width; blockX += 8) {
            // Y, Cb, Cr of the block (JFIF's full-range BT.601), edges repeated
            // past the picture, level-shifted by 128.
            double samples[3][8][8];
            for (int y = 0; y < 8; ++y) {
                const uint8_t* row = picture.Row(std::min(blockY + y, height - 1));
                for (int x = 0; x < 8; ++x) {
                    const uint8_t* p = row + 3 * std::min(blockX + x, width - 1);
                    const double b = p[0], g = p[1], r = p[2];
                    samples[0][y][x] = 0.299 * r + 0.587 * g + 0.114 * b - 128;
                    samples[1][y][x] = -0.168736 * r - 0.331264 * g + 0.5 * b;
                    samples[2][y][x] = 0.5 * r - 0.418688 * g - 0.081312 * b;
                }
            }
            for (int component = 0; component < 3; ++component) {
                int coefficients[64];
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) {
                        double sum = 0;
                        for (int y = 0; y < 8; ++y)
                            for (int x = 0; x < 8; ++x) sum += samples[component][y][x] * cosines[x][u] * cosines[y][v];
                        coefficients[v * 8 + u] = static_cast<int>(std::lround(sum / 4 / kQuantStep));
                    }
                }
                const int dc = coefficients[0];
                const int dcCategory = Category(dc - previousDc[component]);
                bits.Put(static_cast<uint32_t>(dcCategory), kDcCodeBits);
                bits.Put(ValueBits(dc - previousDc[component], dcCategory), dcCategory);
                previousDc[component] = dc;
                int run = 0;
                for (int k = 1; k < 64; ++k) {
                    const int value = coefficients[zigzag[k]];
                    if (value == 0) {
                        ++run;
                        continue;
                    }
                    for (; run > 15; run -= 16) bits.Put(acCode[0xF0], kAcCodeBits);
                    const int category = Category(value);
                    bits.Put(acCode[run << 4 | category], kAcCodeBits);
                    bits.Put(ValueBits(value, category), category);
                    run = 0;
                }
                if (run > 0) bits.Put(acCode[0x00], kAcCodeBits);
            }
        }
    }
    bits.Finish();
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}
