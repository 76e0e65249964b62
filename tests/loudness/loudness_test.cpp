// Integrated loudness and true peak of generated stereo signals with known answers.
#include "loudness/loudness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

constexpr int32_t kRate = 48000;

// Three seconds of a stereo sine starting at `phase` radians, each channel at its own amplitude.
std::vector<int16_t> PhasedSine(double frequency, double left, double right, double phase = 0)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < kRate * 3; ++i)
        for (const double amplitude : {left, right})
            samples.push_back(static_cast<int16_t>(std::nearbyint(amplitude * std::sin(2 * std::numbers::pi * frequency * i / kRate + phase))));
    return samples;
}

TEST(Loudness, KnownSignals)
{
    // A 997 Hz sine in both channels reads its peak level in LUFS (where the K-weighting is
    // calibrated). A quarter-rate sine an eighth of a period off its peaks has samples 3 dB below
    // its true peak, which only oversampling finds. The true peak is the louder channel's, on
    // either side; the channels' powers add up to the loudness. Silence has no level at all, and
    // levels by the same 90 dB as the equal-loudness analysis. The tolerance covers libebur128's
    // interpolation ripple.
    const struct {
        std::vector<int16_t> samples;
        double integrated, truePeak;
    } rows[] = {{PhasedSine(997, 16384, 16384), -6.02, -6.02},   {PhasedSine(997, 1638, 1638), -26.02, -26.02},
                {PhasedSine(997, 1638, 16384), -8.99, -6.02},    {PhasedSine(997, 16384, 1638), -8.99, -6.02},
                {PhasedSine(kRate / 4.0, 16384, 16384, std::numbers::pi / 4), -2.67, -6.02},
                {Silence(2 * kRate * 3), -HUGE_VAL, -HUGE_VAL}};
    TempDir dir;
    const WavLayout layout{2, kRate, 16, 1, 16, {}, {}};
    for (const auto& row : rows) {
        WriteAllBytes(dir.File("s.wav"), BuildWav(layout, row.samples));
        const auto measure = MeasureLoudness({dir.File("s.wav"), 2, kRate, static_cast<int64_t>(DataOffset(layout)),
                                              static_cast<int64_t>(row.samples.size() * 2)}, Measure::Both, [] {});
        ASSERT_TRUE(measure);
        for (const auto& [got, expected] : {std::pair{measure->Integrated, row.integrated}, {measure->TruePeak, row.truePeak}})
            EXPECT_TRUE(got == expected || std::abs(got - expected) < 0.15) << got << " for " << expected;
    }
    EXPECT_EQ(R128Gain(-18, -HUGE_VAL), 90);
}

}  // namespace
}  // namespace varnook::test
