// The equal-loudness recurrence itself: a 10th-order Yule-Walker stage followed by a 2nd-order
// Butterworth high-pass, run over 16-bit samples with its state carried from one call to the
// next. Analyzed feeds it block by block; tests hold it against a direct evaluation and the
// benches time it bare. Depends on the coefficient record only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/filter_coefficients.h"

namespace varnook {

class EqualLoudnessFilter {
public:
    // Every call after construction continues where the previous one stopped; the state starts
    // at zero. `channels` is 1 or 2 (anything else throws ProgramError): stereo samples are
    // interleaved and each channel has a state of its own.
    EqualLoudnessFilter(const FilterCoefficients& coefficients, int channels);

    // Filters samples.size() / channels whole frames and returns `sum` plus the square of every
    // output, added one sample at a time in the order of the input.
    double AddSquares(std::span<const int16_t> samples, double sum);
    // The same, straight from the bytes of a file: 16-bit little-endian samples, whole frames.
    double AddSquaresPcm16(std::span<const uint8_t> bytes, double sum);
    // The same for 24-bit samples, each taken at 1/256 of its value: the 16-bit scale that the
    // analysis's reference level is given on, so a 24-bit file measures as its 16-bit copy does.
    double AddSquaresPcm24(std::span<const uint8_t> bytes, double sum);

    // Filters the same way and writes each output to out[i] (out must be at least as long).
    void Filter(std::span<const int16_t> samples, std::span<double> out);

    int Channels() const { return channels_; }

    // One channel's history, index 0 holding the value one sample back.
    struct History {
        std::array<double, 10> X{};  // inputs
        std::array<double, 10> Y{};  // Yule-Walker outputs
        std::array<double, 2> Z{};   // Butterworth outputs
    };

private:
    FilterCoefficients coefficients_;
    int channels_;
    std::array<History, 2> history_{};
};

}  // namespace varnook
