// The true-peak limiter on generated material: the ceiling as sox's upsampler reads it, the
// gain's timing, the channels linked, the sound of a limited sine, and nothing touched that
// needs no limiting.
#include "dsp/limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "faded_sine.h"
#include "support/sox_true_peak.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

using std::numbers::pi;

constexpr double kMinus1Dbtp = 29204.6;  // 32768 * 10^(-1/20)

// Interleaved samples as one buffer per channel, times 10^(gain / 20).
std::vector<std::vector<double>> Channels(const std::vector<int16_t>& samples, int channels, double gain = 0)
{
    const double factor = std::pow(10.0, gain / 20);
    std::vector<std::vector<double>> out(static_cast<size_t>(channels));
    for (size_t i = 0; i < samples.size(); ++i) out[i % out.size()].push_back(samples[i] * factor);
    return out;
}

// Limits the channels in place, `piece` frames a call, each call shown the rest as look-ahead.
TruePeakLimiter Limited(std::vector<std::vector<double>>& channels, int32_t rate, double ceiling, size_t piece = 8192)
{
    TruePeakLimiter limiter(static_cast<int>(channels.size()), rate, ceiling);
    const size_t frames = channels[0].size();
    for (size_t at = 0; at < frames; at += piece) {
        std::vector<double*> from;
        for (auto& channel : channels) from.push_back(channel.data() + at);
        const size_t count = std::min(piece, frames - at);
        limiter.Limit(from, count, frames - at - count);
    }
    return limiter;
}

// Two hundred short bursts of 15 kHz, each one crest over the rest, the crests at every place
// between the interpolated points: four points a sample alone read such a crest up to 0.3 dB low.
std::vector<int16_t> Bursts()
{
    std::vector<int16_t> samples(2 * 200 * 1000);
    for (size_t burst = 0; burst < 200; ++burst) {
        const double centre = 1000.0 * static_cast<double>(burst) + 500 + 0.137 * static_cast<double>(burst);
        for (size_t i = burst * 1000; i < (burst + 1) * 1000; ++i) {
            const double t = static_cast<double>(i) - centre;
            const double value = kMinus1Dbtp * std::exp(-t * t / 200) * std::cos(2 * pi * 15000 * t / 44100);
            samples[2 * i] = samples[2 * i + 1] = static_cast<int16_t>(std::nearbyint(value));
        }
    }
    return samples;
}

// The limited, 16-bit output stays at or under -1 dBTP as sox's `rate -v` reads it at eight
// points a sample, and as the limiter's own interpolation does. Each row: stereo samples, their
// rate, and the gain in dB applied before the limiter.
TEST(TruePeakLimiter, HoldsTheCeilingAsAnIndependentUpsamplerReadsIt)
{
    const std::tuple<const char*, std::vector<int16_t>, int32_t, double> rows[] = {
        {"DenseClipped", MusicLike(Material::Dense, 1, 44100, 5 * 44100), 44100, 6},
        {"DenseAt48k", MusicLike(Material::Dense, 2, 48000, 5 * 48000), 48000, 6},
        {"Piano", MusicLike(Material::Piano, 3, 44100, 5 * 44100), 44100, 8},
        {"Speech", MusicLike(Material::Speech, 4, 44100, 5 * 44100), 44100, 8},
        {"QuarterRate45Degrees", FadedSine(48000, 2, 12000, {32767, 32767}, 45), 48000, 0},
        {"CrestsBetweenThePoints", Bursts(), 44100, 6}};
    TempDir dir;
    for (const auto& [name, samples, rate, gain] : rows) {
        auto channels = Channels(samples, 2, gain);
        const TruePeakLimiter limiter = Limited(channels, rate, kMinus1Dbtp);
        EXPECT_GT(limiter.LargestReductionDb(), 1) << name;
        std::vector<int16_t> limited;  // interleaved again, rounded to 16 bits
        for (size_t i = 0; i < samples.size(); ++i)
            limited.push_back(static_cast<int16_t>(std::nearbyint(channels[i % 2][i / 2])));
        WriteAllBytes(dir.File("out.wav"), BuildWav({2, rate, 16, 1, 16, {}, {}}, limited));
        EXPECT_LE(SoxTruePeakDb(dir.File("out.wav"), rate), -1.0) << name;
    }
}

// A sine 6 dB over the ceiling, once the gain has settled, is the same sine 6.1 dB lower (the
// limiter aims 0.1 dB under the ceiling): its THD+N stays far under 1%, here under 0.05% (it
// measures 0.0014% at 1 kHz and 100 Hz, 0.017% at 40 Hz), down to bass, whose crests the hold
// bridges. The figure is the residue of the least-squares fit of the sine given, from the second
// half-second to the fade-out: the limiter works in place, so the tone keeps its phase.
TEST(TruePeakLimiter, KeepsASineOverTheCeilingASine)
{
    for (const double frequency : {1000.0, 100.0, 40.0}) {
        auto channels = Channels(FadedSine(44100, 1.5, frequency, {kMinus1Dbtp}), 1, 20 * std::log10(2.0));
        const auto given = channels[0];
        const TruePeakLimiter limiter = Limited(channels, 44100, kMinus1Dbtp);
        EXPECT_NEAR(limiter.LargestReductionDb(), 6.12, 0.02) << frequency;
        double xs = 0, ss = 0, residue = 0;
        const size_t end = given.size() - 882;
        for (size_t i = 22050; i < end; ++i) xs += std::nearbyint(channels[0][i]) * given[i], ss += given[i] * given[i];
        for (size_t i = 22050; i < end; ++i) residue += std::pow(std::nearbyint(channels[0][i]) - xs / ss * given[i], 2);
        EXPECT_LT(std::sqrt(residue / (xs * xs / ss)), 0.0005) << frequency << " Hz";
    }
}

// An isolated crest 6 dB over the ceiling: the gain starts down the 5 ms look-ahead before it,
// is fully down at it, holds 30 ms, then releases with its 150 ms time constant and is exactly
// unity again about 0.7 s on. The channels share the gain: the right one, far under the
// ceiling, is cut just as the left.
TEST(TruePeakLimiter, CutsAheadOfACrestAndLetsGoAfterItOnBothChannels)
{
    constexpr int32_t kRate = 48000;
    constexpr size_t kCrest = 24000;
    std::vector<std::vector<double>> channels(2, std::vector<double>(2 * kRate));
    for (size_t i = 0; i < channels[0].size(); ++i) {
        const double t = static_cast<double>(i) - static_cast<double>(kCrest);
        channels[0][i] = 2 * kMinus1Dbtp * std::exp(-t * t / 2000) * std::cos(2 * pi * t / 48);
        channels[1][i] = 1000 * std::sin(2 * pi * 440 * static_cast<double>(i) / kRate);
    }
    const auto before = channels;
    const TruePeakLimiter limiter = Limited(channels, kRate, kMinus1Dbtp, 1000);
    const auto gain = [&](size_t c, size_t i) { return channels[c][i] / before[c][i]; };
    const auto untouched = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            if (channels[0][i] != before[0][i] || channels[1][i] != before[1][i]) return false;
        return true;
    };
    // The first half-wave over the ceiling is the one 24 frames before the crest; the gain starts
    // down 5 ms (240 frames) and the guard of the interpolation (26 frames) before that.
    EXPECT_TRUE(untouched(0, kCrest - 24 - 240 - 2 * 26));
    EXPECT_LT(gain(1, kCrest - 100), 0.99);
    EXPECT_NEAR(gain(0, kCrest), 0.494, 0.002);  // 6.02 dB and the 0.1 dB margin
    EXPECT_NEAR(gain(1, kCrest + 7), gain(0, kCrest + 7), 1e-9);
    EXPECT_LT(gain(1, kCrest + 250 + kRate / 40), 0.5);  // the hold
    EXPECT_TRUE(untouched(kCrest + kRate * 8 / 10, channels[0].size()));
    EXPECT_NEAR(limiter.LargestReductionDb(), 6.12, 0.02);
    EXPECT_NEAR(limiter.SecondsLimiting(), 0.7, 0.1);
}

// The same stream in any pieces, with the look-ahead each call is shown, gives the same samples.
TEST(TruePeakLimiter, GivesTheSameSamplesWhateverThePieces)
{
    const auto samples = MusicLike(Material::Piano, 7, 44100, 3 * 44100);
    auto whole = Channels(samples, 2, 8);
    Limited(whole, 44100, kMinus1Dbtp, whole[0].size());
    for (const size_t piece : {1, 300, 1024, 8192}) {
        auto pieces = Channels(samples, 2, 8);
        Limited(pieces, 44100, kMinus1Dbtp, piece);
        EXPECT_TRUE(pieces == whole) << piece;
    }
}

// Material whose true peak stays 0.1 dB or more under the ceiling keeps its exact values.
TEST(TruePeakLimiter, LeavesWhatNeedsNoLimitingAsItWas)
{
    const std::vector<std::pair<std::vector<int16_t>, double>> rows{
        {MusicLike(Material::Piano, 8, 44100, 44100), -0.2},  // peaks at -1.2 dBFS: -1.15 dBTP
        {MusicLike(Material::Speech, 9, 44100, 44100), 0},
        {Silence(2 * 44100), 0}};
    for (const auto& [samples, gain] : rows) {
        auto channels = Channels(samples, 2, gain);
        const auto before = channels;
        const TruePeakLimiter limiter = Limited(channels, 44100, kMinus1Dbtp, 1000);
        EXPECT_EQ(std::tuple(channels == before, limiter.LargestReductionDb(), limiter.SecondsLimiting()), std::tuple(true, 0, 0));
    }
}

}  // namespace
}  // namespace varnook::test
