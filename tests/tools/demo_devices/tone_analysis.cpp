#include "tests/tools/demo_devices/tone_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

double Power(const std::vector<double>& x, size_t count, double hz) {
    const double coefficient = 2.0 * std::cos(2.0 * kPi * hz / kRate);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double s0 = x[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

double Best(const std::vector<double>& x, size_t count, double from, double to, double step) {
    double best = from, bestPower = -1.0;
    for (double hz = from; hz <= to; hz += step) {
        const double p = Power(x, count, hz);
        if (p > bestPower) {
            bestPower = p;
            best = hz;
        }
    }
    return best;
}

}  // namespace

double StrongestFrequency(const std::vector<uint8_t>& pcm) {
    std::vector<double> left(pcm.size() / 4);
    for (size_t i = 0; i < left.size(); ++i) {
        int16_t value;
        std::memcpy(&value, &pcm[4 * i], 2);
        left[i] = value;
    }
    const double coarse = Best(left, std::min<size_t>(left.size(), 8820), 20.0, 5000.0, 10.0);
    return Best(left, std::min<size_t>(left.size(), 44100), coarse - 10.0, coarse + 10.0, 1.0);
}
