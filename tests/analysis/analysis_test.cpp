#include "analysis/analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/equal_loudness.h"
#include "analysis/filter.h"
#include "control/context.h"
#include "control/numbers.h"
#include "support/read_only.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

using Lines = std::vector<std::string>;
constexpr int32_t kBlock = 8192;

class AnalysisTest : public ::testing::Test {
protected:
    AnalysisTest() : ctx(host)
    {
        SetDefaults(ctx.settings);
    }

    // Writes the file and checks it as the pipeline does, leaving ctx ready for Analyzed.
    void Prepare(const std::vector<int16_t>& samples, int16_t channels = 1, int32_t rate = 44100)
    {
        test::WavLayout layout;
        layout.channels = channels;
        layout.sampleRate = rate;
        ctx.request.WorkPath = dir.File(std::to_string(++files) + ".wav");
        test::WriteAllBytes(ctx.request.WorkPath, test::BuildWav(layout, samples));
        ASSERT_GE(WavTime(ctx, ctx.request.WorkPath), 0);
        ASSERT_TRUE(SetFilter(ctx));
    }

    int32_t AllFrames() const { return ctx.wav.DataSize / ctx.wav.BlockAlign; }

    // The whole file, as the pipeline asks for it.
    double Gain(const std::vector<int16_t>& samples, int16_t channels = 1, int32_t rate = 44100)
    {
        Prepare(samples, channels, rate);
        double gain = -1000;
        EXPECT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart, AllFrames()));
        return gain;
    }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx;
    int files = 0;
};

// The expected analysis worked out the plain way: the whole stretch filtered in one call, cut
// into windows of `windowFrames` frames, partial window dropped.
double ReferenceGain(const Context& ctx, const std::vector<int16_t>& samples, int channels, size_t windowFrames)
{
    EqualLoudnessFilter filter(ctx.filter, channels);
    std::vector<double> z(samples.size());
    filter.Filter(samples, z);
    const size_t windowSamples = windowFrames * static_cast<size_t>(channels);
    std::vector<double> windows;
    for (size_t start = 0; start + windowSamples <= z.size(); start += windowSamples) {
        double sum = 0;
        for (size_t i = start; i < start + windowSamples; ++i) sum += z[i] * z[i];
        windows.push_back(sum / static_cast<double>(windowSamples));
    }
    return RecommendedGain(windows, ctx.settings.PinkRef, ctx.settings.RmsPercent, ctx.settings.RmsDiff);
}

TEST_F(AnalysisTest, FullScaleSineAt1kHz)
{
    const double gain = Gain(test::Sine(1000, 32767, 44100, 441000));
    EXPECT_EQ(FormatFixed2(gain, '.'), "-14.17");
    EXPECT_TRUE(host.lines.empty());
}

TEST_F(AnalysisTest, DigitalSilenceGivesNinety)
{
    EXPECT_EQ(Gain(test::Silence(44100 * 3)), 90);
}

TEST_F(AnalysisTest, StereoWithEqualChannelsMatchesItsMonoTwin)
{
    std::vector<int16_t> mono = test::Concat(test::Sine(440, 12000, 48000, 48000 * 2), test::Noise(9, 8000, 48000 * 2));
    std::vector<int16_t> stereo;
    for (int16_t s : mono) {
        stereo.push_back(s);
        stereo.push_back(s);
    }
    const double monoGain = Gain(mono, 1, 48000);
    const double stereoGain = Gain(stereo, 2, 48000);
    // Only the order of the additions differs (L, R, L, R against L, L): a few ulps.
    EXPECT_NEAR(stereoGain, monoGain, 1e-9);
    EXPECT_EQ(FormatFixed2(stereoGain, '.'), FormatFixed2(monoGain, '.'));
}

TEST_F(AnalysisTest, LongSilencesInsideMusicDoNotChangeTheResult)
{
    // A 1 kHz tone swelling over 20 dB, so that the percentile would fall on a clearly quieter
    // window if the silent windows were counted. Cuts lie on window boundaries (2205 frames).
    const size_t window = 2205;
    std::vector<int16_t> music(200 * window);
    for (size_t i = 0; i < music.size(); ++i) {
        const double amplitude = 3000 + 27000 * static_cast<double>(i) / static_cast<double>(music.size());
        music[i] = static_cast<int16_t>(std::nearbyint(amplitude * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / 44100)));
    }
    const double plain = Gain(music);

    const auto half = music.begin() + static_cast<std::ptrdiff_t>(music.size() / 2);
    std::vector<int16_t> withSilence = test::Silence(300 * window);
    withSilence.insert(withSilence.end(), music.begin(), half);
    withSilence.insert(withSilence.end(), 900 * window, int16_t{0});
    withSilence.insert(withSilence.end(), half, music.end());
    withSilence.insert(withSilence.end(), 300 * window, int16_t{0});
    const double gapped = Gain(withSilence);

    // Counting 1500 silent windows among 200 loud ones would move the 95th percentile down to
    // the music's 62nd and the gain up by more than 3 dB; passing them over leaves only the
    // filter's ringing at the cuts, a small fraction of a dB.
    EXPECT_NEAR(gapped, plain, 0.05);
}

TEST_F(AnalysisTest, FilterStateRunsOnAcrossBlocks)
{
    // A loud burst across the first block boundary, in a stretch that is no multiple of the
    // block, so the last block is short. Any step in the filter state at a boundary changes the
    // loudest window, which RmsDiff 0 makes the result.
    const int32_t frames = 3 * kBlock + 1234;
    for (int16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        std::vector<int16_t> samples = test::Noise(11, 300, static_cast<size_t>(frames) * channels);
        const std::vector<int16_t> burst = test::Noise(12, 30000, 2000 * static_cast<size_t>(channels));
        std::copy(burst.begin(), burst.end(), samples.begin() + (kBlock - 1000) * channels);
        for (double rmsDiff : {0.0, kDefaultRmsDiff}) {
            ctx.settings.RmsDiff = rmsDiff;
            const double gain = Gain(samples, channels);
            EXPECT_EQ(gain, ReferenceGain(ctx, samples, channels, 2205));
        }
    }
}

TEST_F(AnalysisTest, StretchShorterThanAWindowIsOneWindow)
{
    // As the trim step asks: 1000 frames (about 23 ms) from the middle of the file, measured with
    // a fresh filter state.
    const std::vector<int16_t> samples = test::Noise(13, 20000, 44100);
    Prepare(samples);
    const std::vector<int16_t> stretch(samples.begin() + 5000, samples.begin() + 6000);
    double gain = 0;
    ASSERT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart + 2 * 5000, 1000));
    EXPECT_EQ(gain, ReferenceGain(ctx, stretch, 1, 1000));
    EXPECT_TRUE(host.lines.empty());
}

TEST_F(AnalysisTest, WarningsStillGiveAGainAndFileErrorsFail)
{
    // A read-only file, since the analysis must never ask for more than reading.
    const double whole = Gain(test::Noise(14, 10000, 30000));
    test::ReadOnlyFile locked(ctx.request.WorkPath);
    const auto analyse = [this](int32_t frames, Lines lines, double expected) {
        SCOPED_TRACE(frames);
        host.lines.clear();
        double gain = 0;
        EXPECT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart, frames));
        EXPECT_EQ(host.lines, lines);
        EXPECT_EQ(gain, expected);
    };
    analyse(30000, {}, whole);
    // The file ends in the last block asked for, or in an earlier one: the windows read count.
    for (int32_t frames : {30001, 40000, 100000}) analyse(frames, {"EOF reached before time!"}, whole);
    for (int32_t frames : {0, -5}) analyse(frames, {"No more samples left in chunk!"}, 90);

    host.lines.clear();
    ctx.request.WorkPath = dir.File("gone.wav");
    double gain = 12.5;
    EXPECT_FALSE(Analyzed(ctx, gain, 44, 1000));
    EXPECT_EQ(host.lines, (Lines{"Processing interrupted. Error message:", "53: File not found"}));
    EXPECT_EQ(gain, 12.5);
}

TEST_F(AnalysisTest, ProgressShowsEverySecondBlockAndYieldsEveryBlock)
{
    // Ten blocks: the figure worked out at one pass is shown at the next, so 10, 30, 50 and 70
    // appear and 0 never does.
    Prepare(test::Silence(10 * kBlock));
    host.yields = 0;
    double gain = 0;
    ASSERT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart, 10 * kBlock));
    EXPECT_EQ(host.captions, (Lines{"10", "30", "50", "70"}));
    EXPECT_EQ(host.yields, 10);

    // A third is 33.3 %, taken to 33; the last figure worked out is never shown.
    host.captions.clear();
    ASSERT_TRUE(Analyzed(ctx, gain, ctx.wav.DataStart, 3 * kBlock));
    EXPECT_EQ(host.captions, Lines{"33"});
}

// The representative value and the gain, on window tables made by hand.
struct PickCase {
    const char* name;
    std::vector<double> windows;
    double rmsPercent;
    double rmsDiff;
    double representative;  // 0 for the 90 dB result
};

std::vector<double> Ramp(double from, double to)
{
    std::vector<double> values;
    for (double v = from; v <= to; ++v) values.push_back(v);
    return values;
}

std::vector<double> WithValue(size_t count, double value, std::vector<double> values)
{
    values.insert(values.begin(), count, value);
    return values;
}

class Representative : public ::testing::TestWithParam<PickCase> {};

TEST_P(Representative, PicksTheWindowAndTurnsItIntoAGain)
{
    std::vector<double> windows = GetParam().windows;
    std::shuffle(windows.begin(), windows.end(), std::mt19937(5));
    const double gain = RecommendedGain(windows, kDefaultPinkRef, GetParam().rmsPercent, GetParam().rmsDiff);
    if (GetParam().representative == 0) {
        EXPECT_EQ(gain, 90);
    } else {
        EXPECT_DOUBLE_EQ(gain, kDefaultPinkRef - 10 * std::log10(GetParam().representative));
    }
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const PickCase kPicks[] = {
    // 99 x 0.95 + 1 = 95.05: the 95th smallest.
    {"HundredWindows", Ramp(1, 100), 0.95, 30, 95},
    // 10 x 0.95 + 1 = 10.5 goes to the even 10, not up to 11.
    {"HalfGoesToEven", Ramp(1, 11), 0.95, 30, 10},
    // 50 silent windows are passed over; from the 51st, 49 x 0.95 + 51 = 97.55 -> 98th = 48.
    {"SilencePassedOver", WithValue(50, 0.0, Ramp(1, 50)), 0.95, 30, 48},
    // Ten quiet windows 30 dB or more below the percentile are passed over, which moves the pick
    // up by one (k = 96 from the 11th window on); just above that level they stop the walk at once.
    {"QuietWindowsPassedOver", WithValue(10, 1.0, Ramp(1000, 1089)), 0.95, 30, 1085},
    {"QuietWindowsCounted", WithValue(10, 1.09, Ramp(1000, 1089)), 0.95, 30, 1084},
    {"RmsDiffZeroTakesTheLoudest", Ramp(1, 100), 0.95, 0, 100},
    {"PercentAboveOneStaysOnTheTable", Ramp(1, 100), 5, 30, 100},
    {"PercentBelowZeroStaysOnTheTable", Ramp(1, 100), -1, 30, 1},
    {"PercentNotANumber", Ramp(1, 100), kNaN, 30, 1},
    {"AllSilent", std::vector<double>(40, 0.0), 0.95, 30, 0},
    {"NoWindows", {}, 0.95, 30, 0},
};

INSTANTIATE_TEST_SUITE_P(Tables, Representative, ::testing::ValuesIn(kPicks),
                         test::RowName());

TEST(QuickSort, SortsTheRangeAndNothingElse)
{
    std::mt19937 random(3);
    // 72000 equal values are the window table of a silent hour: the partition must split them
    // evenly, or this takes one value per pass.
    for (size_t size : {0, 1, 2, 3, 7, 1000, 20000, 72000}) {
        for (int kind = 0; kind < 4; ++kind) {
            SCOPED_TRACE(std::to_string(size) + " kind " + std::to_string(kind));
            std::vector<double> values(size);
            for (size_t i = 0; i < size; ++i) {
                const double v = std::uniform_real_distribution<double>(-1e6, 1e6)(random);
                const double kinds[] = {v, std::floor(v / 5e5), static_cast<double>(i), 0.0};  // also few values, sorted
                values[i] = kinds[kind];
            }
            std::vector<double> expected = values;
            const auto first = static_cast<int64_t>(size / 4);
            const auto last = static_cast<int64_t>(size) - 1 - static_cast<int64_t>(size / 5);
            if (first < last) std::sort(expected.begin() + first, expected.begin() + last + 1);
            QuickSort(values, first, last);
            EXPECT_EQ(values, expected);
        }
    }
}

}  // namespace
}  // namespace varnook
