#include "analysis/analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "analysis/filter.h"
#include "base/context.h"
#include "settings/run_settings_file.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

using Lines = std::vector<std::string>;
constexpr int32_t kBlock = 8192;
constexpr size_t kWindow = 2205;  // 50 ms at 44100 Hz

class AnalysisTest : public ::testing::Test {
protected:
    AnalysisTest() : ctx(host) { SetDefaults(ctx.settings); }

    // Writes the file, checks it and analyses all of it, as the pipeline does.
    double Gain(const std::vector<int16_t>& samples, int16_t channels = 1, int32_t rate = 44100)
    {
        ctx.request.WorkPath = dir.File(std::to_string(++files) + ".wav");
        test::WriteAllBytes(ctx.request.WorkPath, test::BuildWav({channels, rate, 16, 1, 16, {}, {}}, samples));
        EXPECT_GE(WavTime(ctx.host, ctx.wav, ctx.request.WorkPath), 0);
        EXPECT_TRUE(SetFilter(ctx));
        double gain = -1000;
        EXPECT_EQ(Analyzed(ctx, gain, ctx.wav.DataStart, ctx.wav.DataSize / ctx.wav.BlockAlign), StepEnd::Finished);
        return gain;
    }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx;
    int files = 0;
};

// One second of a 1 kHz tone rising 60 dB to 32000 in each channel: the window the percentile
// picks, and so the gain, moves with the windows' length.
std::vector<int16_t> RisingTone(int32_t rate, int16_t channels)
{
    std::vector<int16_t> samples;
    for (int32_t i = 0; i < rate; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double value = 32000 * std::pow(10.0, 3 * (t - 1)) * std::sin(2 * std::numbers::pi * 1000 * t);
        samples.insert(samples.end(), static_cast<size_t>(channels), static_cast<int16_t>(std::nearbyint(value)));
    }
    return samples;
}

TEST_F(AnalysisTest, KnownSignals)
{
    // Worked out once by tests/data/rising_tone_gain.py, apart from this code, from the published
    // filter tables: a set filed under the wrong rate or a wrong digit shows, and so does a window
    // that is not the rate's 50 ms with the fraction dropped (1102 frames at 22050 Hz, 551 at
    // 11025), where a frame either way moves the gain by 0.05 dB or more.
    const std::tuple<int32_t, int16_t, double> rows[] = {
        {48000, 1, -12.540814}, {44100, 2, -12.549836}, {32000, 1, -12.463678}, {24000, 1, -12.207720}, {22050, 1, -9.121724},
        {16000, 1, -11.660426}, {12000, 1, -11.366234}, {11025, 1, -8.269806},  {8000, 1, -11.124709}};
    for (const auto& [rate, channels, gain] : rows)
        EXPECT_NEAR(Gain(RisingTone(rate, channels), channels, rate), gain, 1e-5) << rate;
    EXPECT_TRUE(host.lines.empty());
    // Silence levels by 90 dB. The progress figure worked out at one block is shown at the
    // next, taken down to a whole number; every block yields.
    host = {};
    EXPECT_EQ(Gain(test::Silence(10 * kBlock)), 90);
    EXPECT_EQ(std::pair(host.captions, host.yields), std::pair(Lines{"10", "30", "50", "70"}, 10));
    host.captions.clear();
    Gain(test::Silence(3 * kBlock));
    EXPECT_EQ(host.captions, Lines{"33"});
}

// Digital silence leaves the filter at rest and its windows are passed over, so silence in
// front changes nothing, to the bit, although every block now ends elsewhere in the music; a
// filter state lost at a block's end would show in the loudest window, which RmsDiff 0 makes
// the result.
TEST_F(AnalysisTest, SilenceInFrontChangesNothing)
{
    for (const int16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        const auto ch = static_cast<size_t>(channels);
        std::vector<int16_t> music = test::Noise(11, 300, (3 * kBlock + 1234) * ch);
        const std::vector<int16_t> burst = test::Noise(12, 30000, 2000 * ch);
        std::copy(burst.begin(), burst.end(), music.begin() + (kBlock - 1000) * ch);
        for (const double rmsDiff : {0.0, 30.0}) {
            ctx.settings.RmsDiff = rmsDiff;
            EXPECT_EQ(Gain(test::Concat(test::Silence(3 * kWindow * ch), music), channels), Gain(music, channels)) << rmsDiff;
        }
    }
}

TEST_F(AnalysisTest, StretchesWarningsAndFileErrors)
{
    const std::vector<int16_t> samples = test::Noise(14, 10000, 30000);
    // 1000 frames (23 ms) from the middle, as the trim step asks: one window, a fresh state,
    // as when those frames are a file of their own.
    const double stretch = Gain(std::vector<int16_t>(samples.begin() + 5000, samples.begin() + 6000));
    const double whole = Gain(samples);
    // A failed step leaves the gain as it was.
    const auto analyse = [this](int32_t at, int32_t frames, Lines lines, double expected, StepEnd end = StepEnd::Finished) {
        SCOPED_TRACE(frames);
        host.lines.clear();
        double gain = 12.5;
        EXPECT_EQ(Analyzed(ctx, gain, ctx.wav.DataStart + 2 * at, frames), end);
        EXPECT_EQ(host.lines, lines);
        EXPECT_EQ(gain, expected);
    };
    analyse(5000, 1000, {}, stretch);
    // The file ends in the last block asked for, or in an earlier one: the windows read count.
    for (int32_t frames : {30001, 100000}) analyse(0, frames, {"EOF reached before time!"}, whole);
    for (int32_t frames : {0, -5}) analyse(0, frames, {"No more samples left in chunk!"}, 90);
    ctx.request.WorkPath = dir.File("gone.wav");
    analyse(0, 1000, {"Processing interrupted. Error message:", "53: File not found"}, 12.5, StepEnd::Failed);
}

// The representative window and its gain (64.82 minus its level in dB), on shuffled window
// tables made by hand: `quiet` windows of `quietValue`, then the values from..to.
TEST(RecommendedGain, PicksTheWindowAndTurnsItIntoAGain)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::tuple<const char*, size_t, double, double, double, double, double, double> rows[] = {
        // 10 x 0.95 + 1 = 10.5 goes to the even 10, not up to 11.
        {"HalfGoesToEven", 0, 0, 1, 11, 0.95, 30, 54.82},
        // Silent windows are passed over; from the 51st, 49 x 0.95 + 51 = 97.55 -> 98th = 48.
        {"SilencePassedOver", 50, 0.0, 1, 50, 0.95, 30, 48.00758762624412},
        // Windows 30 dB or more below the percentile are passed over, which moves the pick up
        // by one, to 1085; just above that level they stop the walk at once, at 1084.
        {"QuietPassedOver", 10, 1.0, 1000, 1089, 0.95, 30, 34.46570261815451},
        {"QuietCounted", 10, 1.09, 1000, 1089, 0.95, 30, 34.46970717797631},
        {"RmsDiffZeroTakesTheLoudest", 0, 0, 1, 100, 0.95, 0, 44.82},
        // At 50 %: a window only as loud as the pick (5 of 5, 5, 9, 10) does not stop the walk.
        {"AtThePicksLevelWalksOn", 2, 5, 9, 10, 0.5, 0, 54.82},
        {"PercentAboveOne", 0, 0, 1, 100, 5, 30, 44.82},
        {"PercentBelowZero", 0, 0, 1, 100, -1, 30, 64.82},
        {"PercentNotANumber", 0, 0, 1, 100, nan, 30, 64.82},
        {"AllSilent", 40, 0.0, 1, 0, 0.95, 30, 90},
        {"NoWindows", 0, 0, 1, 0, 0.95, 30, 90},
    };
    for (const auto& [name, quiet, quietValue, from, to, rmsPercent, rmsDiff, gain] : rows) {
        std::vector<double> windows(quiet, quietValue);
        for (double v = from; v <= to; ++v) windows.push_back(v);
        std::shuffle(windows.begin(), windows.end(), std::mt19937(5));
        EXPECT_NEAR(RecommendedGain(windows, 64.82, rmsPercent, rmsDiff), gain, 1e-12) << name;
    }
}

}  // namespace
}  // namespace varnook
