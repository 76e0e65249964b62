// Integrated loudness and true peak of generated stereo WAVs, and the gain rules built on them.
#include "loudness/loudness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

constexpr int32_t kRate = 48000;
constexpr double kInf = HUGE_VAL;
constexpr double kUnchecked = NAN;

// A stereo sine of `seconds` at `frequency`, starting at `phase` radians.
std::vector<int16_t> PhasedSine(double frequency, double amplitude, double phase, int seconds)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < kRate * seconds; ++i) {
        const double v = std::nearbyint(amplitude * std::sin(2 * std::numbers::pi * frequency * i / kRate + phase));
        samples.insert(samples.end(), 2, static_cast<int16_t>(v));
    }
    return samples;
}

TEST(Loudness, MeasuresBs1770LevelsAndTruePeaksOfKnownSignals)
{
    // A 997 Hz sine in both channels reads its own peak level in LUFS (the K-weighting is
    // calibrated there). A quarter-rate sine a quarter period off its peaks has samples 3 dB
    // below its true peak, which only oversampling finds. The tolerances cover the K filter's
    // slope around 1 kHz and libebur128's interpolation ripple.
    const struct {
        const char* name;
        std::vector<int16_t> samples;
        double integrated, truePeak, tolerance;
    } rows[] = {
        {"SineAtMinus6", PhasedSine(997, 16384, 0, 3), -6.02, -6.02, 0.05},
        {"SineAtMinus26", PhasedSine(997, 1638, 0, 3), -26.02, -26.02, 0.05},
        {"InterSamplePeak", PhasedSine(kRate / 4.0, 16384, std::numbers::pi / 4, 3), kUnchecked, -6.02, 0.2},
        {"Silence", Silence(2 * kRate * 3), -kInf, -kInf, 0},
    };
    TempDir dir;
    WavLayout layout;
    layout.channels = 2;
    layout.sampleRate = kRate;
    for (const auto& row : rows) {
        WriteAllBytes(dir.File("s.wav"), BuildWav(layout, row.samples));
        const Pcm16Stretch stretch{dir.File("s.wav"), 2, kRate, static_cast<int64_t>(DataOffset(layout)),
                                   static_cast<int64_t>(row.samples.size() * 2)};
        const auto measure = MeasureLoudness(stretch, Measure::Both, [] {});
        ASSERT_TRUE(measure) << row.name;
        for (const auto& [got, expected] : {std::pair{measure->Integrated, row.integrated}, {measure->TruePeak, row.truePeak}}) {
            if (std::isinf(expected)) {
                EXPECT_EQ(got, expected) << row.name;
            } else if (!std::isnan(expected)) {
                EXPECT_NEAR(got, expected, row.tolerance) << row.name;
            }
        }
    }
}

TEST(Loudness, GainRules)
{
    EXPECT_DOUBLE_EQ(R128Gain(-18, -23.5), 5.5);
    EXPECT_DOUBLE_EQ(R128Gain(-18, -kInf), 90);
    const struct {
        double gain, truePeak, ceiling, expected;
    } rows[] = {{5, -3, -1, 2}, {-4, -3, -1, -4}, {0, 0.5, -1, -1.5}, {5, -kInf, -1, 5}};
    for (const auto& r : rows) EXPECT_DOUBLE_EQ(CeilingGain(r.gain, r.truePeak, r.ceiling), r.expected) << r.gain;
}

}  // namespace
}  // namespace varnook::test
