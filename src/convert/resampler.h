// The rate change of a conversion: libsoxr at its very high quality setting, on interleaved
// float samples, block by block.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct soxr;

namespace varnook {

class Resampler {
public:
    // Throws ProgramError when libsoxr refuses the rates or channel count.
    Resampler(int32_t inRate, int32_t outRate, int channels);
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
