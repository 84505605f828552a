#pragma once
// The microphone's signal: a sine at half of full scale (-6 dBFS), the same
// on both channels, continuous from one buffer to the next.
#include <cstddef>
#include <cstdint>

class CSineTone {
public:
    explicit CSineTone(double hz = 440.0) { SetFrequency(hz); }

    // Takes effect at the next Fill, without a jump in phase.
    void SetFrequency(double hz);
    // Starts again at phase 0.
    void Reset() { m_phase = 0.0; }
    // `frames` stereo frames of interleaved 16-bit samples.
    void Fill(int16_t* samples, size_t frames);

private:
    // In cycles, within [0, 1): kept small so that rounding never builds up.
    double m_phase = 0.0;
    double m_step = 0.0;
};
