#include "settings/run_settings_file.h"
#include "analysis/analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "analysis/equal_loudness.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "io/numbers.h"
#include "support/read_only.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

using Lines = std::vector<std::string>;
constexpr int32_t kBlock = 8192;

TEST(FilterSets, EachRateHasItsPublishedSet)
{
    // The sums of the two Yule-Walker arrays, worked out from the published table rather than
    // from our source: a set filed under the wrong rate or a mistyped digit shows.
    const struct {
        int32_t rate;
        double sumYuleB, sumYuleA;
    } rows[] = {
        {48000, 0.01197981636834, -0.97152250670034},
        {44100, 0.01492573223926, -0.96497526769083},
        {32000, 0.03010869355705, -0.92721868660422},
        {24000, 0.02045225040505, -0.94076355402740},
        {22050, 0.02429388348345, -0.92671189509386},
        {16000, 0.08100724263758, -0.73662990675336},
        {12000, 0.03526226169574, -0.84205307097348},
        {11025, 0.04825795974398, -0.76278603993359},
        {8000, 0.04702066186920, -0.61022765846650},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rate);
        const auto c = FilterForRate(row.rate);
        ASSERT_TRUE(c.has_value());
        EXPECT_NEAR(std::accumulate(c->YuleB.begin(), c->YuleB.end(), 0.0), row.sumYuleB, 1e-13);
        EXPECT_NEAR(std::accumulate(c->YuleA.begin(), c->YuleA.end(), 0.0), row.sumYuleA, 1e-13);
        // The high-pass stops 0 Hz and passes half the rate unchanged: a mistyped digit in any
        // of its five values breaks one of the two.
        const auto& b = c->ButterB;
        const auto& a = c->ButterA;
        EXPECT_NEAR(b[0] + b[1] + b[2], 0.0, 1e-13);
        EXPECT_NEAR(b[0] - b[1] + b[2], 1 - a[1] + a[2], 1e-13);
    }
    const auto c48 = FilterForRate(48000);
    EXPECT_EQ(c48->YuleA[3], -11.3417035513204);
    EXPECT_EQ(c48->YuleA[4], 13.0550421932754);
    EXPECT_EQ(c48->YuleA[5], -12.2875989514529);
}

// The recurrence written out as plainly as it can be: whole-signal arrays with ten zeros in
// front, one channel at a time, every term in the order the analysis must keep.
std::vector<double> DirectEvaluation(const FilterCoefficients& c,
                                     const std::vector<int16_t>& samples, size_t channels)
{
    constexpr size_t kLead = 10;
    const size_t frames = samples.size() / channels;
    std::vector<double> out(samples.size());
    for (size_t ch = 0; ch < channels; ++ch) {
        std::vector<double> x(frames + kLead), y(frames + kLead), z(frames + kLead);
        for (size_t f = 0; f < frames; ++f) x[f + kLead] = samples[f * channels + ch];
        for (size_t n = kLead; n < frames + kLead; ++n) {
            double acc = c.YuleB[0] * x[n];
            for (size_t j = 1; j <= 9; ++j) {
                acc = x[n - j] * c.YuleB[j] + acc - c.YuleA[j] * y[n - j];
            }
            y[n] = x[n - 10] * c.YuleB[10] + acc - c.YuleA[10] * y[n - 10];
            acc = c.ButterB[0] * y[n];
            acc = y[n - 1] * c.ButterB[1] + acc - c.ButterA[1] * z[n - 1];
            z[n] = y[n - 2] * c.ButterB[2] + acc - c.ButterA[2] * z[n - 2];
            out[(n - kLead) * channels + ch] = z[n];
        }
    }
    return out;
}

// Fed in uneven pieces, so the state must run on across calls exactly as across blocks.
TEST(EqualLoudnessFilter, MatchesTheDirectEvaluationSampleForSample)
{
    for (const size_t ch : {1, 2}) {
        SCOPED_TRACE(ch);
        const FilterCoefficients c = *FilterForRate(ch == 1 ? 44100 : 48000);
        // Loud noise with silent and full-scale stretches, so the history holds every kind of
        // value.
        std::vector<int16_t> samples = test::Noise(7, 32767, 20000 * ch);
        std::fill(samples.begin() + 3000 * ch, samples.begin() + 4000 * ch, int16_t{0});
        std::fill(samples.begin() + 9000 * ch, samples.begin() + 9100 * ch, int16_t{-32768});
        const std::vector<double> expected = DirectEvaluation(c, samples, ch);

        EqualLoudnessFilter filter(c, static_cast<int>(ch));
        EqualLoudnessFilter summing(c, static_cast<int>(ch));
        std::vector<double> out(samples.size());
        double sum = 0;
        const size_t pieces[] = {1, 7, 8192, 333, 2205, 0, 10, 11};
        for (size_t i = 0, at = 0; at < samples.size(); ++i) {
            const size_t take = std::min(pieces[i % std::size(pieces)] * ch, samples.size() - at);
            const auto piece = std::span(samples).subspan(at, take);
            filter.Filter(piece, std::span(out).subspan(at));
            sum = summing.AddSquares(piece, sum);
            at += take;
        }
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(out[i], expected[i]) << "at " << i;
        // The squares are added one sample at a time in the order of the input.
        double expectedSum = 0;
        for (double z : expected) expectedSum += z * z;
        EXPECT_EQ(sum, expectedSum);
    }
}

class AnalysisTest : public ::testing::Test {
protected:
    AnalysisTest() : ctx(host) { SetDefaults(ctx.settings); }

    // Writes the file, checks it and analyses all of it, as the pipeline does.
    double Gain(const std::vector<int16_t>& samples, int16_t channels = 1)
    {
        test::WavLayout layout;
        layout.channels = channels;
        ctx.request.WorkPath = dir.File(std::to_string(++files) + ".wav");
        test::WriteAllBytes(ctx.request.WorkPath, test::BuildWav(layout, samples));
        EXPECT_GE(WavTime(ctx.host, ctx.wav, ctx.request.WorkPath), 0);
        EXPECT_TRUE(SetFilter(ctx));
        double gain = -1000;
        EXPECT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart, ctx.wav.DataSize / ctx.wav.BlockAlign));
        return gain;
    }

    // The same worked out the plain way: the whole stretch filtered at once, cut into windows
    // of `windowFrames` frames, a partial window dropped.
    double Reference(const std::vector<int16_t>& samples, size_t channels, size_t windowFrames)
    {
        const std::vector<double> z = DirectEvaluation(ctx.filter, samples, channels);
        const size_t windowSamples = windowFrames * channels;
        std::vector<double> windows;
        for (size_t start = 0; start + windowSamples <= z.size(); start += windowSamples) {
            double sum = 0;
            for (size_t i = start; i < start + windowSamples; ++i) sum += z[i] * z[i];
            windows.push_back(sum / static_cast<double>(windowSamples));
        }
        const RunSettings& s = ctx.settings;
        return RecommendedGain(windows, s.PinkRef, s.RmsPercent, s.RmsDiff);
    }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx;
    int files = 0;
};

TEST_F(AnalysisTest, KnownSignals)
{
    const double mono = Gain(test::Sine(1000, 32767, 44100, 441000));
    EXPECT_EQ(FormatFixed2(mono, '.'), "-14.17");
    // Equal channels: only the order of the additions differs, a few ulps.
    EXPECT_NEAR(Gain(test::Sine(1000, 32767, 44100, 441000, 2), 2), mono, 1e-9);
    EXPECT_EQ(Gain(test::Silence(44100 * 3)), 90);
    EXPECT_TRUE(host.lines.empty());
}

TEST_F(AnalysisTest, LongSilencesInsideMusicDoNotChangeTheResult)
{
    // A tone swelling over 20 dB, so that counting silent windows would move the percentile
    // onto a clearly quieter one. The cuts lie on window boundaries (2205 frames).
    const size_t window = 2205;
    std::vector<int16_t> music(200 * window);
    for (size_t i = 0; i < music.size(); ++i) {
        const double swell = 3000 + 27000 * static_cast<double>(i) / music.size();
        music[i] = static_cast<int16_t>(std::nearbyint(swell * std::sin(i * M_PI / 22.05)));
    }
    const auto half = music.begin() + static_cast<std::ptrdiff_t>(music.size() / 2);
    std::vector<int16_t> gapped = test::Silence(300 * window);
    gapped.insert(gapped.end(), music.begin(), half);
    gapped.insert(gapped.end(), 900 * window, int16_t{0});
    gapped.insert(gapped.end(), half, music.end());
    gapped.insert(gapped.end(), 300 * window, int16_t{0});
    // Counting the 1500 silent windows would raise the gain by more than 3 dB; passing them over
    // leaves only the filter's ringing at the cuts.
    EXPECT_NEAR(Gain(gapped), Gain(music), 0.05);
}

TEST_F(AnalysisTest, FilterStateRunsOnAcrossBlocks)
{
    // A loud burst across the first block boundary, in a stretch that is no multiple of the
    // block. A step in the filter state at a boundary changes the loudest window, which
    // RmsDiff 0 makes the result.
    const size_t frames = 3 * kBlock + 1234;
    for (size_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        std::vector<int16_t> samples = test::Noise(11, 300, frames * channels);
        const std::vector<int16_t> burst = test::Noise(12, 30000, 2000 * channels);
        std::copy(burst.begin(), burst.end(), samples.begin() + (kBlock - 1000) * channels);
        for (double rmsDiff : {0.0, kDefaultRmsDiff}) {
            ctx.settings.RmsDiff = rmsDiff;
            const double gain = Gain(samples, static_cast<int16_t>(channels));
            EXPECT_EQ(gain, Reference(samples, channels, 2205));
        }
    }
}

TEST_F(AnalysisTest, StretchesWarningsAndFileErrors)
{
    const std::vector<int16_t> samples = test::Noise(14, 10000, 30000);
    const double whole = Gain(samples);
    // The analysis asks for nothing but reading.
    test::ReadOnlyFile locked(ctx.request.WorkPath);
    const auto analyse = [this](int32_t at, int32_t frames, Lines lines, double expected) {
        SCOPED_TRACE(frames);
        host.lines.clear();
        double gain = 0;
        EXPECT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart + 2 * at, frames));
        EXPECT_EQ(host.lines, lines);
        EXPECT_EQ(gain, expected);
    };
    // 1000 frames (23 ms) from the middle, as the trim step asks: one window, a fresh state.
    const std::vector<int16_t> stretch(samples.begin() + 5000, samples.begin() + 6000);
    analyse(5000, 1000, {}, Reference(stretch, 1, 1000));
    // The file ends in the last block asked for, or in an earlier one: the windows read count.
    for (int32_t frames : {30001, 100000}) analyse(0, frames, {"EOF reached before time!"}, whole);
    for (int32_t frames : {0, -5}) analyse(0, frames, {"No more samples left in chunk!"}, 90);

    host.lines.clear();
    ctx.request.WorkPath = dir.File("gone.wav");
    double gain = 12.5;
    EXPECT_FALSE(Analyzed(ctx, gain, 44, 1000));
    EXPECT_EQ(host.lines, (Lines{"Processing interrupted. Error message:", "53: File not found"}));
    EXPECT_EQ(gain, 12.5);
}

TEST_F(AnalysisTest, ProgressShowsEverySecondBlockAndYieldsEveryBlock)
{
    // The figure worked out at one pass is shown at the next, taken down to a whole number.
    Gain(test::Silence(10 * kBlock));
    EXPECT_EQ(host.captions, (Lines{"10", "30", "50", "70"}));
    EXPECT_EQ(host.yields, 10);
    host.captions.clear();
    Gain(test::Silence(3 * kBlock));
    EXPECT_EQ(host.captions, Lines{"33"});
}

// The representative window and its gain, on shuffled window tables made by hand: `quiet`
// windows of `quietValue`, then the values from..to.
TEST(RecommendedGain, PicksTheWindowAndTurnsItIntoAGain)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        size_t quiet;
        double quietValue, from, to, rmsPercent, rmsDiff;
        double representative;  // 0 for the 90 dB result
    } rows[] = {
        // 10 x 0.95 + 1 = 10.5 goes to the even 10, not up to 11.
        {"HalfGoesToEven", 0, 0, 1, 11, 0.95, 30, 10},
        // Silent windows are passed over; from the 51st, 49 x 0.95 + 51 = 97.55 -> 98th = 48.
        {"SilencePassedOver", 50, 0.0, 1, 50, 0.95, 30, 48},
        // Windows 30 dB or more below the percentile are passed over, which moves the pick up
        // by one; just above that level they stop the walk at once.
        {"QuietPassedOver", 10, 1.0, 1000, 1089, 0.95, 30, 1085},
        {"QuietCounted", 10, 1.09, 1000, 1089, 0.95, 30, 1084},
        {"RmsDiffZeroTakesTheLoudest", 0, 0, 1, 100, 0.95, 0, 100},
        {"PercentAboveOne", 0, 0, 1, 100, 5, 30, 100},
        {"PercentBelowZero", 0, 0, 1, 100, -1, 30, 1},
        {"PercentNotANumber", 0, 0, 1, 100, nan, 30, 1},
        {"AllSilent", 40, 0.0, 1, 0, 0.95, 30, 0},
        {"NoWindows", 0, 0, 1, 0, 0.95, 30, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<double> windows(row.quiet, row.quietValue);
        for (double v = row.from; v <= row.to; ++v) windows.push_back(v);
        std::shuffle(windows.begin(), windows.end(), std::mt19937(5));
        const double gain = RecommendedGain(windows, kDefaultPinkRef, row.rmsPercent, row.rmsDiff);
        const double pick = row.representative;
        EXPECT_DOUBLE_EQ(gain, pick == 0 ? 90 : kDefaultPinkRef - 10 * std::log10(pick));
    }
}

TEST(QuickSort, SortsTheRangeAndNothingElse)
{
    std::mt19937 random(3);
    // Few distinct values among many, as in the window table of a long quiet stretch.
    for (size_t size : {0, 1, 2, 3, 20000}) {
        SCOPED_TRACE(size);
        std::vector<double> values(size);
        for (double& v : values) v = static_cast<double>(random() % (size < 10 ? 1000 : 4));
        std::vector<double> expected = values;
        const auto first = static_cast<int64_t>(size / 4);
        const auto last = static_cast<int64_t>(size) - 1 - static_cast<int64_t>(size / 5);
        if (first < last) std::sort(expected.begin() + first, expected.begin() + last + 1);
        QuickSort(values, first, last);
        EXPECT_EQ(values, expected);
    }
}

}  // namespace
}  // namespace varnook
