// A sine faded in and out over 20 ms along a raised cosine, so that no hard edge rings above it:
// a steady sine's true peak is its amplitude. One amplitude per channel (16-bit steps),
// interleaved; the phase in degrees.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace varnook::test {

inline std::vector<int16_t> FadedSine(int32_t rate, double seconds, double frequency, const std::vector<double>& amplitudes,
                                      double phaseDegrees = 0)
{
    using std::numbers::pi;
    const auto frames = static_cast<size_t>(seconds * rate);
    const double fade = rate / 50;
    std::vector<int16_t> samples;
    for (size_t i = 0; i < frames; ++i) {
        const auto edge = static_cast<double>(std::min(i, frames - 1 - i));
        const double envelope = edge < fade ? 0.5 - 0.5 * std::cos(pi * edge / fade) : 1;
        const double wave = envelope * std::sin(2 * pi * frequency * static_cast<double>(i) / rate + phaseDegrees * pi / 180);
        for (const double amplitude : amplitudes) samples.push_back(static_cast<int16_t>(std::nearbyint(amplitude * wave)));
    }
    return samples;
}

}  // namespace varnook::test
