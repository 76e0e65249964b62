// The editing steps on work files written in the test: leveling (amplify) and trimming.
#include "editing/amplify.h"
#include "editing/trim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "base/context.h"
#include "dsp/true_peak.h"
#include "io/byte_order.h"
#include "settings/run_settings_file.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "wav/wav_time.h"

namespace varnook::test {
namespace {

// A WAV work file written for an editing test, with a Context whose WAV info the header check
// filled in, as the pipeline has it.
struct WorkFile {
    WorkFile()
    {
        ctx.request.WorkPath = dir.File("work.wav");
        ctx.request.TempPath = dir.File("VRK.tmp");
    }

    // A header with an extended "fmt " chunk and a chunk before the samples, then `trailer`;
    // 16-bit samples from int16_t values, 24-bit ones from int32_t values.
    template <typename Sample>
    void Write(int16_t channels, const std::vector<Sample>& samples, std::vector<Chunk> trailer = {},
               int32_t sampleRate = 44100)
    {
        const std::vector<Chunk> before{{"LIST", {'I', 'N', 'F', 'O'}}};
        bytes = BuildWav({channels, sampleRate, sizeof(Sample) == 2 ? int16_t{16} : kDeepBits, 1, 18, before, std::move(trailer)},
                         samples);
        WriteAllBytes(ctx.request.WorkPath, bytes);
        ASSERT_GE(WavTime(host, ctx.wav, ctx.request.WorkPath), 0);
    }

    RecordingHost host;
    Context ctx{host};
    TempDir dir;
    std::vector<uint8_t> bytes;  // the work file as written
};

constexpr size_t kBlock = 16384;
constexpr size_t kLong = 2 * (3 * kBlock + 5001);  // ends in a partial block

// A gain whose factor 10^(gain / 20) is exactly `factor`, so that products land on exact halves.
double GainForExactFactor(double factor)
{
    double gain = 20 * std::log10(factor);
    for (int i = 0; i < 64 && std::pow(10.0, gain / 20) != factor; ++i)
        gain = std::nextafter(gain, std::pow(10.0, gain / 20) < factor ? 100.0 : -100.0);
    return gain;
}

// The output must be the work file byte for byte, with `samples` in place of its own; a difference
// is shown by where it starts rather than by printing the files.
void ExpectOutput(const WorkFile& work, const std::vector<int32_t>& samples)
{
    auto expected = work.bytes;
    const bool deep = work.ctx.wav.BitsPerSample == kDeepBits;
    for (size_t i = 0; i < samples.size(); ++i) {
        uint8_t* at = expected.data() + work.ctx.wav.DataStart + (deep ? 3 : 2) * i;
        deep ? StoreLE24(at, samples[i]) : StoreLE16(at, static_cast<int16_t>(samples[i]));
    }
    const auto out = ReadAllBytes(work.ctx.request.TempPath);
    const auto differ = std::ranges::mismatch(out, expected).in1 - out.begin();
    EXPECT_TRUE(out == expected) << "sizes " << out.size() << " and " << expected.size() << ", first difference at " << differ;
}

struct LevelCase {
    const char* name;
    int16_t channels;
    size_t samples;  // all zero but the points
    double factor;
    std::vector<std::array<int, 3>> points;  // sample index, value, value afterwards
    std::array<int64_t, 3> seen;  // peak read, peak written, half-waves limited
    bool oddSize = false;  // the last sample's high byte belongs to no sample
    std::optional<double> limitTo = {};  // the limiter's ceiling in dBTP
    bool deep = false;  // 24-bit samples
};

class LeveledFile : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LeveledFile, GivesTheWorkedOutSamples)
{
    const LevelCase& row = GetParam();
    std::vector<int32_t> samples(row.samples);
    for (const auto& [at, value, after] : row.points) samples[static_cast<size_t>(at)] = value;
    WorkFile work;
    const std::vector<Chunk> trailer{{"id3 ", std::vector<uint8_t>(777, 0xA5)}};
    row.deep ? work.Write(row.channels, samples, trailer) : work.Write(row.channels, std::vector<int16_t>(samples.begin(), samples.end()), trailer);
    work.ctx.wav.DataSize -= row.oddSize ? 1 : 0;
    WriteAllBytes(work.ctx.request.TempPath, std::vector<uint8_t>(300000, 9));  // left by an earlier file, longer than this one

    LevelFindings seen;
    ASSERT_EQ(Leveled(work.ctx, GainForExactFactor(row.factor), &seen, row.limitTo), StepEnd::Finished);
    EXPECT_TRUE(work.host.lines.empty());
    for (const auto& [at, value, after] : row.points) samples[static_cast<size_t>(at)] = after;
    ExpectOutput(work, samples);
    EXPECT_EQ((std::array<int64_t, 3>{seen.PeakBefore, seen.PeakAfter, seen.HalfWavesLimited}), row.seen);
}

// Above 0 dB a half-wave (a run of one sign) is scaled as one piece: by the factor, or by the
// one that puts its peak on 31744 (31744 / 20000 = 1.5872, 31744 / 16000 = 1.984). The peaks
// seen leave out what is no sample: the unpaired last one, the odd byte, the trailer chunk.
INSTANTIATE_TEST_SUITE_P(
    Gains, LeveledFile,
    ::testing::Values(
        LevelCase{"HalvedTiesToEven", 1, kLong, 0.5, {{0, 3, 2}, {1, 5, 2}, {2, -3, -2}, {3, -5, -2}, {4, -32768, -16384},
                  {kLong - 1, 7, 4}}, {32768, 16384, 0}},
        LevelCase{"DoubledUpToThePeakLimit", 1, kLong, 2, {{100, 1000, 1587}, {101, 20000, 31744}, {102, 3000, 4762},
                  {200, -1000, -2000}, {201, -5, -10}, {kLong - 2, 100, 200}}, {20000, 31744, 1}},
        // One half-wave across the first block edge, its peak after it.
        LevelCase{"HalfWaveAcrossTheBlockEdge", 1, kLong, 2, {{16381, 1000, 1984}, {16382, 1000, 1984}, {16383, 1000, 1984},
                  {16384, 1000, 1984}, {16385, 16000, 31744}, {16386, 1000, 1984}}, {16000, 31744, 1}},
        LevelCase{"StereoChannelsApartUnpairedLastKept", 2, kLong + 1, 2,
                  {{100, 20000, 31744}, {101, 1000, 2000}, {kLong, 30000, 30000}}, {20000, 31744, 1}},
        LevelCase{"OddDataSize", 1, kLong, 0.5, {{kLong - 2, 3, 2}, {kLong - 1, 300, 300}}, {3, 2, 0}, true},
        LevelCase{"ZeroGainCopiesAShortFile", 2, 1000, 1, {{5, 3, 3}, {999, -7, -7}}, {7, 7, 0}},
        LevelCase{"Mono32767", 1, 32767, 0.5, {{32766, 3, 2}}, {3, 2, 0}},
        // The limiter lets through what stays 0.1 dB under its ceiling (-1 dBTP, 29205) exactly.
        LevelCase{"LimiterUnderItsCeilingTouchesNothing", 2, kLong, 2, {{100, 14000, 28000}, {101, -7, -14},
                  {kLong - 1, 900, 1800}}, {14000, 28000, 0}, false, -1},
        LevelCase{"Mono32768", 1, 32768, 0.5, {{32767, 3, 2}}, {3, 2, 0}},
        LevelCase{"Stereo32769", 2, 32769, 0.5, {{32767, 3, 2}, {32768, 300, 300}}, {3, 2, 0}},
        // Shorter than a block: leveled all the same, half-waves whole up to the last sample.
        LevelCase{"MonoShorterThanABlock", 1, 1000, 2, {{5, 20000, 31744}, {6, 1000, 1587}, {999, -3, -6}}, {20000, 31744, 1}},
        LevelCase{"StereoShorterThanABlockUnpairedLastKept", 2, 1001, 2,
                  {{998, 20000, 31744}, {999, -1000, -2000}, {1000, 30000, 30000}}, {20000, 31744, 1}},
        // At 24 bits the ceiling is 31744 * 256 and the rounding of the 24-bit steps; a 16-bit
        // reading of the samples, or a 16-bit ceiling, lands elsewhere.
        LevelCase{"Deep24CeilingScales", 2, kLong + 1, 2, {{100, 5120000, 8126464}, {102, 256001, 406325}, {101, -3, -6},
                  {kLong, 7000000, 7000000}}, {5120000, 8126464, 1}, false, {}, true},
        LevelCase{"Deep24HalvedTiesToEven", 1, kLong, 0.5, {{0, 3, 2}, {1, -8388608, -4194304}, {kLong - 1, 5, 2}},
                  {8388608, 4194304, 0}, false, {}, true},
        LevelCase{"Deep24ZeroGainCopies", 1, 1000, 1, {{5, -8388608, -8388608}}, {8388608, 8388608, 0}, false, {}, true}),
    RowName());

// With the limiter the whole gain is applied, a gain of 0 included, and the true peak (as the
// limiter's own interpolation reads it) holds under the ceiling; behind it the half-wave rule
// keeps the samples to 31744 when the ceiling lies above that. Outside the samples the file is
// the one amplify gives without the limiter. The tone is two seconds of 1 kHz ending on a zero
// crossing; at -7.02 dBFS raised 12 dB it is 5.98 dB over -1 dBTP, which the limiter cuts by
// 6.08 dB, as it aims 0.1 dB under the ceiling. (Where nothing needs limiting, see the rows
// above.)
TEST(Leveled, WithTheLimiterHoldsTheCeilingAndReportsTheCut)
{
    const std::tuple<int16_t, double, double, double, double> rows[] = {
        {2, 14604, 12, -1, 6.08}, {1, 14604, 12, -1, 6.08}, {1, 32767, 0, -1, 1.10}, {1, 14604, 12, 1, 4.08}};
    for (const auto& [channels, amplitude, gain, ceiling, reductionDb] : rows) {
        SCOPED_TRACE(ceiling + gain * channels);
        WorkFile work;
        work.Write(channels, Sine(1000, amplitude, 44100, 88200, channels), {{"id3 ", {1, 2, 3}}});
        LevelFindings seen;
        ASSERT_EQ(Leveled(work.ctx, gain, &seen, ceiling), StepEnd::Finished);
        auto limited = ReadAllBytes(work.ctx.request.TempPath);
        EXPECT_NEAR(seen.LimiterReductionDb, reductionDb, 0.02);
        EXPECT_NEAR(seen.SecondsLimiting, 2, 0.01);
        EXPECT_EQ(std::pair(seen.HalfWavesLimited > 0, seen.PeakAfter <= 31744), std::pair(ceiling > -0.28, true));
        const auto samples = std::span(limited).subspan(static_cast<size_t>(work.ctx.wav.DataStart), 88200 * 2 * channels);
        TruePeakMeter meter(channels, 44100, Reconstruction::Precise);
        meter.AddPcm16(samples);
        EXPECT_LE(20 * std::log10(meter.Finish()), std::min(ceiling, -0.2));
        std::ranges::fill(samples, 0);
        ASSERT_EQ(Leveled(work.ctx, gain), StepEnd::Finished);
        auto plain = ReadAllBytes(work.ctx.request.TempPath);
        std::ranges::fill(std::span(plain).subspan(static_cast<size_t>(work.ctx.wav.DataStart), samples.size()), 0);
        EXPECT_EQ(limited, plain);
    }
}

TEST(Leveled, PeakDbfsIsRelativeToFullScaleAndSilenceHasNone)
{
    EXPECT_EQ(std::pair(PeakDbfs(32768), PeakDbfs(0)), std::pair(std::optional(0.0), std::optional<double>()));
    EXPECT_NEAR(*PeakDbfs(16384), -6.0206, 1e-4);  // 20 log10(1/2), to the digits given
}

// The look-ahead of the half-wave rule is the back half of the buffer. A half-wave longer than it
// is cut at the buffer's end: one positive run, 30000 in its first frame and 100 after it, is
// scaled as one piece (31744 / 30000) to the end of the first buffer, 32768 samples of all
// channels together, and what follows starts afresh and is doubled. A half-wave that starts on
// the look-ahead's first sample waits for the next cycle, where the whole of it is in view: its
// peak (-30000) lies beyond the current buffer's end.
TEST(Leveled, HalfWavesMeetTheLookAheadAsTheBufferAllows)
{
    const auto longRun = [](int16_t channels) {
        std::vector<int16_t> samples(3 * kBlock * static_cast<size_t>(channels), 100);
        std::fill_n(samples.begin(), channels, 30000);
        std::vector<int16_t> expected(samples.size(), 200);
        std::fill_n(expected.begin(), 2 * kBlock, 106);
        std::fill_n(expected.begin(), channels, 31744);
        return std::pair{samples, expected};
    };
    std::vector<int16_t> waiting(kBlock, 100), waited(kBlock, 200);
    waiting.resize(3 * kBlock, -100);
    waited.resize(3 * kBlock, -106);
    waiting[2 * kBlock + 10] = -30000;
    waited[2 * kBlock + 10] = -31744;
    const std::tuple<int16_t, std::pair<std::vector<int16_t>, std::vector<int16_t>>> rows[] = {
        {1, longRun(1)}, {2, longRun(2)}, {1, {waiting, waited}}};
    for (const auto& [channels, samples] : rows) {
        WorkFile work;
        work.Write(channels, samples.first);
        ASSERT_EQ(Leveled(work.ctx, GainForExactFactor(2)), StepEnd::Finished);
        ExpectOutput(work, {samples.second.begin(), samples.second.end()});
    }
}

// A full disk shows in the end-to-end runs; here the file errors of a source that is not what the
// header said, or gone.
TEST(Leveled, CaptionsShowHeaderProgressAndTrailerItYieldsPerCycleAndFileErrorsAreLogged)
{
    WorkFile work;
    work.Write(1, Noise(1, 1000, 12 * kBlock), {{"junk", {1, 2, 3}}});
    ASSERT_EQ(Leveled(work.ctx, 2), StepEnd::Finished);
    // Percentages of the twelve blocks read, shown every second of the eleven cycles; a yield
    // each, and once before the header and the trailer chunk.
    const std::vector<std::string> captions{"Copying header", "8", "25", "42", "58", "75", "Copying trailer", "0"};
    EXPECT_EQ(std::pair(work.host.captions, work.host.yields), std::pair(captions, 13));
    work.ctx.wav.DataSize += 4000;  // claims more samples than the file holds
    EXPECT_EQ(Leveled(work.ctx, -3), StepEnd::Failed);
    work.ctx.request.WorkPath = work.dir.File("gone.wav");
    EXPECT_EQ(Leveled(work.ctx, 0), StepEnd::Failed);
    EXPECT_EQ(work.host.lines, (std::vector<std::string>{"62: Input past end of file", "53: File not found"}));
    EXPECT_TRUE(work.host.errorBoxes.empty());
}


// At 44100 Hz a window is 2205 frames and the searches step by 1102: window w covers frames
// [1102 w, 1102 w + 2205). The signal puts its edges on that grid:
//   noise floor | quiet from 67223 | loud 78743-408342 | quiet to 419862 | noise floor
// The quiet part (about 25.5 dB below the reference) is audible for a threshold of 30 once
// half a window holds it, for 27 only when a whole window does, never for 24 or 20; any loud
// sample makes a window audible for all four. With thresholds 30/24/24/30 the searches stop at
// windows 60, 70, 370 and 380: cut-in at frame 66120, fade-in to 77140, fade-out from 409945,
// cut-out at 420965; lead silence is 22050 frames a second.
constexpr size_t kFrames = 487085;  // 440 steps and a window
// Where a default fade scales by exactly one half (its 5510th frame; the last sample of that
// frame in stereo). 339 / 2 = 169.5 goes to the even 170, 337 / 2 = 168.5 to 168; a factor a
// step off rounds the other way.
constexpr int64_t kFadeInHalf = 71629;
constexpr int64_t kFadeOutHalf = 415454;

// With `deep`, the same at 24 bits: every sample 256 times as large, which the analysis measures
// as it measures the 16-bit file.
void WritePlanned(WorkFile& work, int16_t channels, bool loudFromStart,
                  std::vector<Chunk> trailer = {}, bool deep = false)
{
    const auto quiet = Sine(1000, 340, 44100, kFrames, channels);
    const auto loud = Sine(1000, 20000, 44100, kFrames, channels);
    auto samples = Noise(17, 2, kFrames * static_cast<size_t>(channels));  // not silent
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto frame = static_cast<int64_t>(i) / channels;
        if (frame >= (loudFromStart ? 0 : 78743) && frame < 408342)
            samples[i] = loud[i];
        else if (frame >= (loudFromStart ? 0 : 67223) && frame < 419862)
            samples[i] = quiet[i];
        if (frame == kFadeInHalf) samples[i] = 339;
        if (frame == kFadeOutHalf) samples[i] = 337;
    }
    std::vector<int32_t> wide(samples.begin(), samples.end());
    for (int32_t& sample : wide) sample *= 256;
    deep ? work.Write(channels, wide, std::move(trailer)) : work.Write(channels, samples, std::move(trailer));
    SetDefaults(work.ctx.settings);
    work.ctx.settings.TrimLevel = {30, 24, 24, 30};
}

struct TrimCase {
    const char* name;
    int16_t channels;
    std::array<double, 2> lead;
    std::array<double, 4> thresholds;
    double newLevel;
    bool loudFromStart;
    // Frames from the old data start: the new data start, the cut-in, the fade-in's end, the
    // fade-out's start, the cut-out and the new data end.
    int64_t leadStart, cutIn, fadeIn, fadeOut, cutOut, end;
    bool deep = false;  // 24-bit samples
};

class TrimLayout : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimLayout, CutsFadesAndLeadsWhereTheWindowsSay)
{
    const TrimCase& row = GetParam();
    // Longer than any move, so the trailer's move outwards overlaps itself.
    std::vector<uint8_t> trailer(200001);
    for (size_t i = 0; i < trailer.size(); ++i) trailer[i] = static_cast<uint8_t>(i * 13 + 5);
    WorkFile work;
    WritePlanned(work, row.channels, row.loudFromStart, {{"id3 ", trailer}}, row.deep);
    std::tie(work.ctx.settings.Lead, work.ctx.settings.TrimLevel, work.ctx.settings.NewLevel) =
        std::tuple(row.lead, row.thresholds, row.newLevel);
    const int64_t ds = work.ctx.wav.DataStart, fb = (row.deep ? 3 : 2) * row.channels;
    const auto at = [&](int64_t frame) { return ds + frame * fb; };

    ASSERT_EQ(Trimmed(work.ctx), StepEnd::Finished);
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"New EOF set"});
    const auto& in = work.bytes;
    const auto out = ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(out.size(), static_cast<size_t>(at(row.end)) + trailer.size() + 8);
    const auto same = [&](int64_t a, int64_t b) { return std::equal(out.begin() + a, out.begin() + b, in.begin() + a); };
    const auto silent = [&](int64_t a, int64_t b) { return std::count(out.begin() + a, out.begin() + b, 0) == b - a; };
    const auto sample = [&](int64_t frame) { return row.deep ? LoadLE24(&out[at(frame + 1) - 3]) : LoadLE16(&out[at(frame + 1) - 2]); };
    const auto id = [&](int64_t from) { return std::string(out.begin() + from, out.begin() + from + 4); };
    const int64_t start = at(row.leadStart), size = (row.end - row.leadStart) * fb;

    // The old start stays where it was, hidden in a chunk of its own when there is one.
    EXPECT_EQ(std::tuple(LoadLE32(out.data() + 4), id(ds - 8), id(start - 8), LoadLE32(out.data() + start - 4)),
              std::tuple(static_cast<int32_t>(out.size() - 8), row.leadStart > 0 ? "tRsH" : "data", "data", size));
    EXPECT_TRUE(same(8, ds - 8) && (row.leadStart == 0 || same(ds, start - 8)));
    EXPECT_TRUE(silent(start, at(row.cutIn)));
    if (row.fadeIn == 77140) { EXPECT_EQ(sample(kFadeInHalf), row.deep ? 339 * 128 : 170); }
    EXPECT_TRUE(same(at(row.fadeIn), at(row.fadeOut)));
    if (row.fadeOut == 409945 && row.cutOut == 420965) { EXPECT_EQ(sample(kFadeOutHalf), row.deep ? 337 * 128 : 168); }
    if (row.fadeOut < row.cutOut) { EXPECT_EQ(sample(row.cutOut - 1), 0); }
    EXPECT_TRUE(silent(at(row.cutOut), at(row.end)));
    EXPECT_TRUE(std::equal(out.end() - static_cast<int64_t>(trailer.size()) - 8, out.end(),
                           in.end() - static_cast<int64_t>(trailer.size()) - 8));

    // The header check walks past the hidden start to the same samples.
    WavInfo again;
    ASSERT_GE(WavTime(work.host, again, work.ctx.request.WorkPath), 0);
    EXPECT_EQ(std::tuple(work.ctx.wav.DataStart, work.ctx.wav.DataSize, again.DataStart, again.DataSize),
              std::tuple(start, size, start, size));
}

const TrimCase kLayouts[] = {
    // 3-byte samples: the same windows, frames, fades and leads as at 16 bits.
    {"Deep24Stereo", 2, {.5, .3}, {30, 24, 24, 30}, 0, false, 44070, 66120, 77140, 409945, 420965, 434195, true},
    {"NoLeads", 2, {0, 0}, {30, 24, 24, 30}, 0, false, 66120, 66120, 77140, 409945, 420965, 420965},
    // 2 s of lead-out where only 1.5 s of material was; 2 s of lead-in find 1.5 s of room.
    {"LeadOutPastTheOldEnd", 2, {.5, 2}, {30, 24, 24, 30}, 0, false, 44070, 66120, 77140, 409945, 420965, 509165},
    {"LeadInLongerThanTheRoom", 1, {2, .3}, {30, 24, 24, 30}, 0, false, 0, 66120, 77140, 409945, 420965, 434195},
    {"LoudFromTheFirstWindow", 2, {.5, .3}, {30, 24, 24, 30}, 0, true, 0, 0, 0, 409945, 420965, 434195},
    // A window's level is its gain plus NewLevel: 6 dB down, thresholds 6 dB lower.
    {"NewLevelCounts", 1, {.5, .3}, {24, 18, 18, 24}, -6, false, 44070, 66120, 77140, 409945, 420965, 434195},
    {"OwnFadeOutThreshold", 1, {.5, .3}, {30, 24, 27, 30}, 0, false, 44070, 66120, 77140, 419863, 420965, 434195},
    {"OwnCutOutThreshold", 1, {.5, .3}, {30, 24, 24, 20}, 0, false, 44070, 66120, 77140, 409945, 409945, 423175},
};

INSTANTIATE_TEST_SUITE_P(Layouts, TrimLayout, ::testing::ValuesIn(kLayouts), RowName());

// Two seconds holding 0.2 s of quiet music from 0.8 s on, which only the cut searches hear, and a
// fade-out threshold nothing reaches. With the start before the music hidden, half the data left
// lies before the new data start, and there the fade-out search ends: the fade-out must still
// start at the first sample, leaving the hidden start and the new "data" header as they were.
TEST(Trimmed, AFadeOutSearchRunningPastTheDataStartFadesFromTheFirstSample)
{
    WorkFile work;
    auto samples = Noise(17, 2, 88200);
    const auto music = Sine(1000, 340, 44100, 8820);
    std::copy(music.begin(), music.end(), samples.begin() + 35280);
    work.Write(1, samples);
    SetDefaults(work.ctx.settings);  // and no lead silence
    work.ctx.settings.TrimLevel = {30, 24, 0, 30};
    const int64_t hidden = work.ctx.wav.DataStart, start = hidden + 2 * 31 * 1102;  // the cut-in, 31 steps in
    ASSERT_EQ(Trimmed(work.ctx), StepEnd::Finished);
    ASSERT_EQ(work.ctx.wav.DataStart, start);
    const auto out = ReadAllBytes(work.ctx.request.WorkPath);
    EXPECT_TRUE(std::equal(out.begin() + hidden, out.begin() + start - 8, work.bytes.begin() + hidden));
    EXPECT_EQ(std::pair(std::string(out.begin() + start - 8, out.begin() + start - 4), LoadLE32(out.data() + start - 4)),
              std::pair(std::string("data"), work.ctx.wav.DataSize));
}

TEST(Trimmed, LeavesQuietShortAndUnfilterableFilesAlone)
{
    // The noise floor throughout, shorter than a window, a rate without a filter.
    const std::tuple<int32_t, size_t, StepEnd, std::vector<std::string>> rows[] = {
        {44100, 44100 * 4, StepEnd::Finished, {}}, {44100, 2000, StepEnd::Finished, {}},
        {44101, 44100 * 4, StepEnd::Failed, {"No filter for this frequency"}}};
    for (const auto& [sampleRate, frames, end, lines] : rows) {
        SCOPED_TRACE(frames + sampleRate);
        WorkFile work;
        work.Write(2, Noise(3, 2, frames * 2), {{"LIST", {1, 2, 3, 4}}}, sampleRate);
        SetDefaults(work.ctx.settings);
        work.ctx.settings.TrimLevel = {30, 24, 24, 30};
        EXPECT_EQ(Trimmed(work.ctx), end);
        EXPECT_EQ(work.host.lines, lines);
        EXPECT_EQ(ReadAllBytes(work.ctx.request.WorkPath), work.bytes);
    }
}

TEST(Trimmed, AFailedCutIsReportedAndTheRiffSizeFollowsTheFile)
{
    WorkFile work;
    WritePlanned(work, 1, false);
    // Another writer holds the file, so the cut is refused; the step still finishes.
    const int other = ::open(work.ctx.request.WorkPath.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    TrimFindings findings;
    EXPECT_EQ(Trimmed(work.ctx, &findings), StepEnd::Finished);
    ::close(other);
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"Could not set new EOF"});
    EXPECT_EQ(findings.Failure, "Could not set new EOF");
    const auto out = ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(out.size(), work.bytes.size());
    EXPECT_EQ(LoadLE32(out.data() + 4), static_cast<int32_t>(out.size() - 8));
}

}  // namespace
}  // namespace varnook::test
