#include "tools/demo_devices/microphone/sine_tone.h"

#include <cmath>

#include "tools/demo_devices/microphone/wave_format.h"

namespace {
constexpr double kAmplitude = 16384.0;
constexpr double kTwoPi = 6.283185307179586476925;
}  // namespace

void CSineTone::SetFrequency(double hz) { m_step = hz / kMicSamplesPerSecond; }

void CSineTone::Fill(int16_t* samples, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<int16_t>(std::lround(kAmplitude * std::sin(kTwoPi * m_phase)));
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
        m_phase += m_step;
        if (m_phase >= 1.0) m_phase -= 1.0;
    }
}
