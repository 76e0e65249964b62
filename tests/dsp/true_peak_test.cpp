// The true-peak interpolation and meter on signals whose waveform or true peak is known.
#include "dsp/true_peak.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "dsp/limiter.h"
#include "faded_sine.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

using std::numbers::pi;

// The meter's reading in dBTP of interleaved samples fed `piece` frames at a time.
double MeterDb(const std::vector<int16_t>& samples, int channels, int32_t rate, Reconstruction reconstruction,
               size_t piece = 4096)
{
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) StoreLE16(bytes.data() + 2 * i, samples[i]);
    TruePeakMeter meter(channels, rate, reconstruction);
    const size_t pieceBytes = piece * 2 * static_cast<size_t>(channels);
    for (size_t at = 0; at < bytes.size(); at += pieceBytes)
        meter.AddPcm16(std::span(bytes).subspan(at, std::min(pieceBytes, bytes.size() - at)));
    return 20 * std::log10(meter.Finish());
}

// One pulse at half scale, band-limited to 0.7 of the Nyquist frequency, its crest `offset` of a
// sample after a sample: a windowed sinc, whose crest is its true peak.
std::vector<int16_t> Pulse(double offset)
{
    std::vector<int16_t> samples(1200);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) - 600 - offset;
        const double sinc = t == 0 ? 1 : std::sin(pi * 0.7 * t) / (pi * 0.7 * t);
        const double window = 0.5 + 0.5 * std::cos(pi * t / 400);
        samples[i] = static_cast<int16_t>(std::nearbyint(16384 * sinc * window));
    }
    return samples;
}

// EBU Tech 3341 allows a meter +0.2/-0.4 dB on its signals; both reconstructions are held to
// 0.02 dB, so a slip in a tap or a point's place shows. The signals: the sines of its true-peak
// cases 15 to 19 (the 24-bit files' signals, here in 16 bits), the 96 kHz twofold case, a pulse at
// the four offsets of its cases 20 to 23, and lone samples at the very start and end, which only
// the silence around the signal gives context.
TEST(TruePeakMeter, ReadsKnownTruePeaksWithinTwoHundredthsOfADecibel)
{
    // Half a second at 48 kHz of a sine of this many Hz, phase in degrees and peak.
    const auto sine = [](double hz, double degrees, double peak = 16384) { return FadedSine(48000, 0.5, hz, {peak}, degrees); };
    const std::tuple<const char*, int32_t, std::vector<int16_t>, double> rows[] = {
        {"QuarterRateOnTheSamples", 48000, sine(12000, 0), -6.02}, {"QuarterRate45Degrees", 48000, sine(12000, 45), -6.02},
        {"SixthRate60Degrees", 48000, sine(8000, 60), -6.02}, {"EighthRate67Degrees", 48000, sine(6000, 67.5), -6.02},
        {"OverFullScale", 48000, sine(12000, 45, 1.41 * 32768), 2.98},
        {"TwofoldAt96k", 96000, FadedSine(96000, 0.5, 24000, {16384}, 45), -6.02},
        {"PulseOnASample", 48000, Pulse(0), -6.02}, {"PulseAQuarterAfter", 48000, Pulse(0.25), -6.02},
        {"PulseHalfway", 48000, Pulse(0.5), -6.02}, {"PulseThreeQuartersAfter", 48000, Pulse(0.75), -6.02},
        // After a crest on the samples at -6.02 dBFS, samples 2.2 dB under it whose crests between
        // them rise above it: only their interpolation finds that.
        {"ALaterCrestBetweenLowerSamples", 48000, Concat(sine(12000, 0), sine(12000, 45, 18022.4)), -5.19},
        // A lone sample of 30000: its neighbours' interpolation stays below it.
        {"FirstSample", 44100, Concat({30000}, Silence(1999)), -0.77},
        {"LastSample", 44100, Concat(Silence(1999), {30000}), -0.77}};
    for (const auto& [name, rate, samples, truePeak] : rows)
        for (const Reconstruction reconstruction : {Reconstruction::Standard, Reconstruction::Precise})
            EXPECT_NEAR(MeterDb(samples, 1, rate, reconstruction), truePeak, 0.02)
                << name << (reconstruction == Reconstruction::Standard ? " standard" : " precise");
}

// Each point lands on the sine at its own place: frame n, then n + 1/4, n + 1/2, n + 3/4 (n and
// n + 1/2 at 96 kHz). Standard follows the sine to 0.35 of the rate, Precise to 0.45. Each row:
// the rate, the reconstruction, the sine's cycles per sample and the tolerance, of full scale.
TEST(Oversampler, PointsLieOnTheSineAtTheirPlaces)
{
    const std::tuple<int32_t, Reconstruction, double, double> rows[] = {
        {44100, Reconstruction::Standard, 0.05, 0.001}, {44100, Reconstruction::Standard, 0.25, 0.002},
        {44100, Reconstruction::Standard, 0.35, 0.007}, {44100, Reconstruction::Precise, 0.25, 0.002},
        {44100, Reconstruction::Precise, 0.45, 0.006}, {96000, Reconstruction::Standard, 0.13, 0.001},
        {96000, Reconstruction::Precise, 0.45, 0.006}};
    for (const auto& [rate, reconstruction, cyclesPerSample, tolerance] : rows) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << cyclesPerSample << " cycles a sample");
        Oversampler oversampler(reconstruction, rate);
        const size_t reach = oversampler.Reach(), count = 300;
        const auto wave = [&](double t) { return std::sin(2 * pi * cyclesPerSample * t + 0.3); };
        std::vector<float> frames(count + 2 * reach);
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = static_cast<float>(wave(static_cast<double>(i) - static_cast<double>(reach)));
        const std::vector<float> points = oversampler.Points(frames.data() + reach, count);
        const auto factor = static_cast<size_t>(oversampler.Factor());
        ASSERT_EQ(points.size(), count * (rate < 96000 ? 4 : 2));
        for (size_t i = 0; i < points.size(); ++i)
            ASSERT_NEAR(points[i], wave(static_cast<double>(i) / static_cast<double>(factor)), tolerance) << "point " << i;
    }
}

// The meter keeps the context across the pieces it is fed in: any cut gives the same reading.
TEST(TruePeakMeter, ReadsTheSameWhateverThePieces)
{
    const auto samples = MusicLike(Material::Dense, 5, 44100, 30000);
    const double whole = MeterDb(samples, 2, 44100, Reconstruction::Standard, samples.size());
    for (const size_t piece : {1, 999, 1024, 4096})
        EXPECT_EQ(MeterDb(samples, 2, 44100, Reconstruction::Standard, piece), whole) << piece;
}

TEST(TruePeak, TheMeterAndTheLimiterRefuseALayoutWithoutChannelsRateOrCeiling)
{
    EXPECT_THROW(TruePeakMeter(0, 44100), ProgramError);
    EXPECT_THROW(TruePeakMeter(2, 0), ProgramError);
    EXPECT_THROW(Oversampler(Reconstruction::Precise, -48000), ProgramError);
    EXPECT_THROW(TruePeakLimiter(0, 44100, 29204.6), ProgramError);
    EXPECT_THROW(TruePeakLimiter(2, 0, 29204.6), ProgramError);
    EXPECT_THROW(TruePeakLimiter(2, 44100, 0), ProgramError);
}

}  // namespace
}  // namespace varnook::test
