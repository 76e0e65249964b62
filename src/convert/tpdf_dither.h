// Word-length reduction to 16 bits with triangular (TPDF) dither of one LSB either side. The
// noise comes from a fixed seed, so a source converted twice gives the same bytes; the
// generator is a plain xorshift, the same on every compiler and library, unlike the standard
// distributions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace varnook {

inline constexpr float kPcm16FullScale = 32768.0f;  // libsndfile's float 1.0
inline constexpr uint32_t kDitherSeed = 0x9E3779B9u;

class TpdfDither {
public:
    // `sample` is a float sample on libsndfile's scale (full scale 1.0). Values beyond full scale
    // (a float source, a resampler's overshoot) are clipped to the 16-bit range.
    int16_t Quantize(float sample)
    {
        // The difference of two uniform values in [0, 1) is triangular over (-1, 1) LSB.
        const float value = sample * kPcm16FullScale + Uniform() - Uniform();
        // lrintf rounds to nearest with halves to even under the default rounding mode, like
        // nearbyint, and is the fast instruction for it.
        const long rounded = std::lrintf(std::clamp(value, kLowest, kHighest));
        return static_cast<int16_t>(rounded);
    }

private:
    static constexpr float kLowest = -32768.0f;
    static constexpr float kHighest = 32767.0f;
    static constexpr float kUnitPerStep = 1.0f / 16777216.0f;  // 24 bits: exact in a float

    float Uniform()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_ >> 8) * kUnitPerStep;
    }

    uint32_t state_ = kDitherSeed;
};

}  // namespace varnook
