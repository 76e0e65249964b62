#include "analysis/equal_loudness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "analysis/filter.h"
#include "support/param_name.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

// The recurrence written out as plainly as it can be: whole-signal arrays with ten zeros in
// front, one channel at a time, every term in the order the analysis must keep.
std::vector<double> DirectEvaluation(const FilterCoefficients& c, const std::vector<int16_t>& samples,
                                     int channels)
{
    constexpr size_t kLead = 10;
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    std::vector<double> out(frames * static_cast<size_t>(channels));
    for (int ch = 0; ch < channels; ++ch) {
        std::vector<double> x(frames + kLead), y(frames + kLead), z(frames + kLead);
        for (size_t f = 0; f < frames; ++f) x[f + kLead] = samples[f * static_cast<size_t>(channels) + static_cast<size_t>(ch)];
        for (size_t n = kLead; n < frames + kLead; ++n) {
            double acc = c.YuleB[0] * x[n];
            for (size_t j = 1; j <= 9; ++j) acc = x[n - j] * c.YuleB[j] + acc - c.YuleA[j] * y[n - j];
            y[n] = x[n - 10] * c.YuleB[10] + acc - c.YuleA[10] * y[n - 10];
            acc = c.ButterB[0] * y[n];
            acc = y[n - 1] * c.ButterB[1] + acc - c.ButterA[1] * z[n - 1];
            z[n] = y[n - 2] * c.ButterB[2] + acc - c.ButterA[2] * z[n - 2];
            out[(n - kLead) * static_cast<size_t>(channels) + static_cast<size_t>(ch)] = z[n];
        }
    }
    return out;
}

struct FilterCase {
    const char* name;
    int32_t rate;
    int channels;
};

class FilterAgainstDirectEvaluation : public ::testing::TestWithParam<FilterCase> {};

// Fed in uneven pieces, so the state must run on across calls exactly as across blocks.
TEST_P(FilterAgainstDirectEvaluation, SameOutputSampleForSample)
{
    const FilterCase& param = GetParam();
    const FilterCoefficients c = *FilterForRate(param.rate);
    const int ch = param.channels;
    // Loud noise with silent and full-scale stretches, so the history holds every kind of value.
    std::vector<int16_t> samples = test::Noise(7, 32767, 20000 * static_cast<size_t>(ch));
    std::fill(samples.begin() + 3000 * ch, samples.begin() + 4000 * ch, int16_t{0});
    std::fill(samples.begin() + 9000 * ch, samples.begin() + 9100 * ch, int16_t{-32768});
    const std::vector<double> expected = DirectEvaluation(c, samples, ch);

    EqualLoudnessFilter filter(c, ch);
    std::vector<double> out(samples.size());
    const size_t pieces[] = {1, 7, 8192, 333, 2205, 0, 10, 11};
    size_t frame = 0;
    const size_t frames = samples.size() / static_cast<size_t>(ch);
    for (size_t i = 0; frame < frames; ++i) {
        const size_t take = std::min(pieces[i % std::size(pieces)], frames - frame);
        const size_t at = frame * static_cast<size_t>(ch);
        filter.Filter(std::span(samples).subspan(at, take * static_cast<size_t>(ch)),
                      std::span(out).subspan(at));
        frame += take;
    }
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(out[i], expected[i]) << "sample " << i;

    // The sum the analysis uses is the same outputs squared and added in sample order.
    double expectedSum = 0;
    for (double z : expected) expectedSum += z * z;
    EqualLoudnessFilter summing(c, ch);
    double sum = 0;
    for (size_t at = 0; at < samples.size(); at += 999 * static_cast<size_t>(ch)) {
        const size_t take = std::min<size_t>(999 * static_cast<size_t>(ch), samples.size() - at);
        sum = summing.AddSquares(std::span(samples).subspan(at, take), sum);
    }
    EXPECT_EQ(sum, expectedSum);
}

INSTANTIATE_TEST_SUITE_P(Rates, FilterAgainstDirectEvaluation,
                         ::testing::Values(FilterCase{"Mono44100", 44100, 1}, FilterCase{"Stereo44100", 44100, 2},
                                           FilterCase{"Mono48000", 48000, 1}, FilterCase{"Stereo48000", 48000, 2},
                                           FilterCase{"Stereo8000", 8000, 2}),
                         test::RowName());

}  // namespace
}  // namespace varnook
