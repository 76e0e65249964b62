// A rate change: libsoxr on interleaved float samples, block by block; at its very high quality
// setting for a conversion to the work file, which later steps measure and may keep losslessly,
// and at its high setting (a noise floor far below 16 bits, for half the work) where a lossy
// encoder takes the result.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct soxr;

namespace varnook {

class Resampler {
public:
    enum class Quality { VeryHigh, High };

    // Throws ProgramError when libsoxr refuses the rates or channel count.
    Resampler(int32_t inRate, int32_t outRate, int channels, Quality quality = Quality::VeryHigh);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Takes `frames` interleaved frames and returns the output frames ready so far (the filter
    // holds back its delay). An empty input flushes: the output then ends the stream.
    std::span<const float> Process(std::span<const float> input);
    std::span<const float> Flush() { return Process({}); }

private:
    soxr* handle_ = nullptr;
    int channels_;
    double ratio_;
    std::vector<float> output_;
};

}  // namespace varnook
