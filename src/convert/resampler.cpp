#include "convert/resampler.h"

#include <cmath>
#include <string>

#include <soxr.h>

#include "io/errors.h"

namespace varnook {
namespace {

// Room for the filter's delay line on top of the block's own share, so one call of
// soxr_process rarely has to be repeated for want of output space.
constexpr size_t kSpareFrames = 1024;

}  // namespace

Resampler::Resampler(int32_t inRate, int32_t outRate, int channels, Quality quality)
    : channels_(channels), ratio_(static_cast<double>(outRate) / inRate)
{
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t wanted = soxr_quality_spec(quality == Quality::VeryHigh ? SOXR_VHQ : SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    handle_ = soxr_create(inRate, outRate, static_cast<unsigned>(channels), &error, &io, &wanted, nullptr);
    if (error != nullptr || handle_ == nullptr)
        throw ProgramError(program_errors::kInvalidArgument, std::string("Resampler: ") + (error ? error : "failed"));
}

Resampler::~Resampler()
{
    soxr_delete(handle_);
}

std::span<const float> Resampler::Process(std::span<const float> input)
{
    const size_t channels = static_cast<size_t>(channels_);
    size_t inFrames = input.size() / channels;
    const float* in = input.empty() ? nullptr : input.data();
    const size_t room = static_cast<size_t>(std::ceil(static_cast<double>(inFrames) * ratio_)) + kSpareFrames;
    output_.resize(room * channels);
    size_t produced = 0;
    // Called until the input is used up; a flush (no input) is called until nothing more comes.
    for (;;) {
        if (output_.size() - produced * channels < kSpareFrames * channels)
            output_.resize(output_.size() + kSpareFrames * channels);
        const size_t outRoom = output_.size() / channels - produced;
        size_t used = 0;
        size_t made = 0;
        const soxr_error_t error =
            soxr_process(handle_, in, inFrames, in ? &used : nullptr, output_.data() + produced * channels, outRoom, &made);
        if (error != nullptr) throw ProgramError(program_errors::kInternal, std::string("Resampler: ") + error);
        produced += made;
        if (in) {
            in += used * channels;
            inFrames -= used;
            if (inFrames == 0) break;
        } else if (made == 0) {
            break;
        }
    }
    return std::span<const float>(output_.data(), produced * channels);
}

}  // namespace varnook
