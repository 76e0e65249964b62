// Integrated loudness and true peak of generated signals with known answers, and of music-like
// material against libebur128's own true peak.
#include "loudness/loudness.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/faded_sine.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

constexpr int32_t kRate = 48000;

LoudnessMeasure Measured(const TempDir& dir, const std::vector<int16_t>& samples, int channels, int32_t rate = kRate)
{
    const WavLayout layout{static_cast<int16_t>(channels), rate, 16, 1, 16, {}, {}};
    WriteAllBytes(dir.File("s.wav"), BuildWav(layout, samples));
    const auto measure = MeasureLoudness(
        {dir.File("s.wav"), channels, rate, static_cast<int64_t>(DataOffset(layout)), static_cast<int64_t>(samples.size() * 2)},
        Measure::Both, [] {});
    EXPECT_TRUE(measure);
    return measure.value_or(LoudnessMeasure{});
}

TEST(Loudness, KnownSignals)
{
    // A 997 Hz sine reads its peak level in LUFS (where the K-weighting is calibrated), in both
    // channels or alone: a mono file is measured as two speakers play it. A quarter-rate sine an
    // eighth of a period off its peaks has samples 3 dB below its true peak, which only
    // oversampling finds. The true peak is the louder channel's, on either side; the channels'
    // powers add up to the loudness. Silence has no level at all, and levels by the same 90 dB as
    // the equal-loudness analysis. The loudness tolerance covers the K-weighting's slope at 997 Hz;
    // the true peak is held to 0.02 dB (see tests/dsp).
    const std::tuple<std::vector<int16_t>, int, double, double> rows[] = {
        {FadedSine(kRate, 3, 997, {16384, 16384}), 2, -6.02, -6.02}, {FadedSine(kRate, 3, 997, {16384}), 1, -6.02, -6.02},
        {FadedSine(kRate, 3, 997, {1638, 1638}), 2, -26.02, -26.02}, {FadedSine(kRate, 3, 997, {1638, 16384}), 2, -8.99, -6.02},
        {FadedSine(kRate, 3, 997, {16384, 1638}), 2, -8.99, -6.02}, {Silence(2 * kRate * 3), 2, -HUGE_VAL, -HUGE_VAL},
        {FadedSine(kRate, 3, kRate / 4.0, {16384, 16384}, 45), 2, -2.67, -6.02}};
    TempDir dir;
    for (const auto& [samples, channels, integrated, truePeak] : rows) {
        const LoudnessMeasure m = Measured(dir, samples, channels);
        SCOPED_TRACE(testing::Message() << integrated << " LUFS, " << truePeak << " dBTP");
        EXPECT_TRUE(m.Integrated == integrated || std::abs(m.Integrated - integrated) < 0.15) << m.Integrated;
        EXPECT_TRUE(m.TruePeak == truePeak || std::abs(m.TruePeak - truePeak) < 0.02) << m.TruePeak;
    }
    EXPECT_EQ(R128Gain(-18, -HUGE_VAL), 90);
}

// libebur128's true peak of interleaved samples, the highest over the channels, in dBTP.
double LibraryTruePeak(const std::vector<int16_t>& samples, int channels, int32_t rate)
{
    ebur128_state* state = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate), EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_short(state, samples.data(), samples.size() / static_cast<size_t>(channels));
    double highest = 0, peak = 0;
    for (unsigned c = 0; c < static_cast<unsigned>(channels); ++c)
        if (ebur128_true_peak(state, c, &peak) == EBUR128_SUCCESS) highest = std::max(highest, peak);
    ebur128_destroy(&state);
    return 20 * std::log10(highest);
}

class MusicLikeMaterial : public ::testing::TestWithParam<Material> {};

// On ten seconds of each kind: the true peak agrees with libebur128's to 0.1 dB, and a mono file
// reads exactly as its two-channel copy.
TEST_P(MusicLikeMaterial, AgreesWithLibebur128AndMonoReadsAsItsStereoCopy)
{
    constexpr int32_t kCdRate = 44100;
    const auto stereo = MusicLike(GetParam(), 11, kCdRate, 10 * kCdRate);
    const auto mono = MusicLike(GetParam(), 12, kCdRate, 10 * kCdRate, 1);
    std::vector<int16_t> copy;
    for (const int16_t s : mono) copy.insert(copy.end(), {s, s});
    TempDir dir;
    EXPECT_NEAR(Measured(dir, stereo, 2, kCdRate).TruePeak, LibraryTruePeak(stereo, 2, kCdRate), 0.1);
    const LoudnessMeasure alone = Measured(dir, mono, 1, kCdRate);
    const LoudnessMeasure twice = Measured(dir, copy, 2, kCdRate);
    EXPECT_NEAR(alone.Integrated, twice.Integrated, 1e-9);
    EXPECT_EQ(alone.TruePeak, twice.TruePeak);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MusicLikeMaterial, ::testing::Values(Material::Dense, Material::Piano, Material::Speech),
    [](const auto& info) { return (std::vector<std::string>{"Dense", "Piano", "Speech"})[static_cast<size_t>(info.param)]; });

}  // namespace
}  // namespace varnook::test
