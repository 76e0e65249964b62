#include "editing/trim.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "editing/work_file.h"
#include "io/byte_order.h"
#include "support/param_name.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

using test::Chunk;
using test::WavLayout;

// At 44100 Hz a window is 2205 frames and the searches step by 1102 frames: window i covers
// frames [1102 i, 1102 i + 2205) of the data. The test signals put their edges on that grid so
// that each search must stop at a window known in advance:
//   noise floor | quiet | loud | quiet | noise floor
// The quiet level (about 25.5 dB below the reference) is audible for the cut thresholds (30)
// once half a window holds it, but not for the fade thresholds (24); any part of the loud
// sine in a window makes it audible for both.
constexpr int64_t kStep = 1102;
constexpr int64_t kWin = 2205;
constexpr double kQuietAmplitude = 340;
constexpr double kLoudAmplitude = 20000;
constexpr int kFloorAmplitude = 2;  // not silent, so that the lead silence shows

struct Plan {
    int64_t cutIn = 60;    // window where the quiet part takes half the window
    int64_t fadeIn = 70;   // first window that reaches into the loud part
    int64_t fadeOut = 370; // last window that reaches into the loud part
    int64_t cutOut = 380;  // last window that holds half a window of the quiet part
    int64_t last = 440;    // the last whole window of the data
    bool loudFromStart = false;

    int64_t Frames() const { return kStep * last + kWin; }
    // Section edges in frames.
    int64_t QuietStart() const { return loudFromStart ? 0 : kStep * cutIn + (kWin - kStep); }
    int64_t LoudStart() const { return loudFromStart ? 0 : kStep * fadeIn + (kWin - kStep) + 500; }
    int64_t LoudEnd() const { return kStep * (fadeOut + 1) - 500; }
    int64_t QuietEnd() const { return kStep * (cutOut + 1); }
};

std::vector<int16_t> PlannedSignal(const Plan& plan, int16_t channels)
{
    const auto frames = static_cast<size_t>(plan.Frames());
    const auto quiet = test::Sine(1000, kQuietAmplitude, 44100, frames, channels);
    const auto loud = test::Sine(1000, kLoudAmplitude, 44100, frames, channels);
    auto out = test::Noise(17, kFloorAmplitude, frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < out.size(); ++i) {
        const auto frame = static_cast<int64_t>(i) / channels;
        if (frame >= plan.LoudStart() && frame < plan.LoudEnd())
            out[i] = loud[i];
        else if (frame >= plan.QuietStart() && frame < plan.QuietEnd())
            out[i] = quiet[i];
    }
    return out;
}

// Writes the planned signal as the work file, with the default thresholds and the given leads.
void WritePlanned(test::WorkFile& work, const Plan& plan, int16_t channels, double leadIn, double leadOut,
                  std::vector<Chunk> after = {})
{
    WavLayout layout;
    layout.channels = channels;
    layout.before = {Chunk{"LIST", std::vector<uint8_t>(26, 'b')}};
    layout.after = std::move(after);
    work.Write(layout, PlannedSignal(plan, channels));
    RunSettings& settings = work.ctx.settings;
    SetDefaults(settings);
    settings.TrimLevel = {30, 24, 24, 30};
    settings.Lead = {leadIn, leadOut};
    settings.NewLevel = 0;
}

// The level the trim step sees for the window at `frame` of the data.
double LevelAt(test::WorkFile& work, int64_t frame)
{
    double gain = 0;
    const auto position = static_cast<int32_t>(work.ctx.wav.DataStart + frame * work.ctx.wav.BlockAlign);
    EXPECT_TRUE(Analyzed(work.ctx, gain, position, kWin));
    return gain + work.ctx.settings.NewLevel;
}

// Lead silence in bytes: the seconds at the byte rate, rounded, cut to whole frames.
int64_t LeadBytes(const WavInfo& wav, double seconds)
{
    return static_cast<int64_t>(std::nearbyint(wav.ByteRate * seconds)) / wav.BlockAlign * wav.BlockAlign;
}

std::string IdAt(const std::vector<uint8_t>& bytes, int64_t at)
{
    return {bytes.begin() + at, bytes.begin() + at + 4};
}

bool SameBytes(const std::vector<uint8_t>& a, int64_t aFrom, const std::vector<uint8_t>& b, int64_t bFrom,
               int64_t length)
{
    if (aFrom + length > static_cast<int64_t>(a.size()) || bFrom + length > static_cast<int64_t>(b.size()))
        return false;
    return std::equal(a.begin() + aFrom, a.begin() + aFrom + length, b.begin() + bFrom);
}

struct TrimCase {
    const char* name;
    int16_t channels;
    double leadIn;
    double leadOut;
    bool loudFromStart;
};
void PrintTo(const TrimCase& row, std::ostream* os) { *os << row.name; }

class TrimLayout : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimLayout, CutsFadesAndLeadsWhereTheWindowsSay)
{
    const TrimCase& row = GetParam();
    Plan plan;
    plan.loudFromStart = row.loudFromStart;
    if (row.loudFromStart) plan.cutIn = plan.fadeIn = 0;

    // A trailing chunk longer than any move, so an outward move overlaps itself.
    std::vector<uint8_t> trailer(200001);
    for (size_t i = 0; i < trailer.size(); ++i) trailer[i] = static_cast<uint8_t>(i * 13 + 5);
    test::WorkFile work;
    WritePlanned(work, plan, row.channels, row.leadIn, row.leadOut, {Chunk{"id3 ", trailer}});
    const WavInfo before = work.ctx.wav;
    const int64_t ds = before.DataStart;
    const int64_t frameBytes = before.BlockAlign;

    // The signal holds what the plan says: each window's level against the fade (24) and cut
    // (30) thresholds, as (at least, below) pairs.
    ASSERT_TRUE(SetFilter(work.ctx));
    const std::vector<std::tuple<int64_t, double, double>> premises = {
        {plan.cutIn - 1, 30, 99}, {plan.cutIn, 24, 30}, {plan.fadeIn - 1, 24, 30}, {plan.fadeIn, -99, 24},
        {plan.fadeOut, -99, 24}, {plan.fadeOut + 1, 24, 30}, {plan.cutOut, 24, 30}, {plan.cutOut + 1, 30, 99}};
    for (const auto& [window, atLeast, below] : premises) {
        if (row.loudFromStart && window <= plan.fadeIn) continue;
        const double level = LevelAt(work, kStep * window);
        ASSERT_TRUE(level >= atLeast && level < below) << "the test signal's window " << window << " is at " << level;
    }

    // Where the step must cut, from the planned windows and the lead rules.
    const int64_t cutIn = ds + kStep * plan.cutIn * frameBytes;
    const int64_t fadeIn = ds + kStep * plan.fadeIn * frameBytes;
    const int64_t fadeOut = ds + (kStep * plan.fadeOut + kWin) * frameBytes;
    const int64_t cutOut = ds + (kStep * plan.cutOut + kWin) * frameBytes;
    const int64_t v = cutIn - LeadBytes(before, row.leadIn);
    const int64_t leadStart = v >= ds + 8 ? ds + (v - ds) / frameBytes * frameBytes : ds;
    const int64_t leadOut = LeadBytes(before, row.leadOut);
    const auto trailerLength = static_cast<int64_t>(work.bytes.size()) - (ds + before.DataSize);

    work.host.captions.clear();
    ASSERT_TRUE(Trimmed(work.ctx));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"New EOF set"});
    std::vector<std::string> captions;  // the step's own, without the analysis's percentages
    std::ranges::copy_if(work.host.captions, std::back_inserter(captions), [](const std::string& c) {
        return c.find_first_not_of("0123456789") != std::string::npos;
    });
    EXPECT_EQ(captions, (std::vector<std::string>{"Find Cut In", "Find Fade In", "Find Cut Out",
                                                   "Write Lead In", "Write Fade In", "Find Fade Out",
                                                   "Write Fade Out", "Save and rewrite info at end",
                                                   "Write Lead Out"}));

    const auto out = test::ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(static_cast<int64_t>(out.size()), cutOut + leadOut + trailerLength);
    const WavInfo trimmed = work.ctx.wav;
    EXPECT_EQ(trimmed.DataStart, leadStart);
    EXPECT_EQ(trimmed.DataSize, cutOut + leadOut - leadStart);
    EXPECT_EQ(trimmed.RiffSize, static_cast<int32_t>(out.size() - 8));
    // The header check reads the new layout as the step left it in the record.
    ASSERT_GE(WavTime(work.ctx, work.ctx.request.WorkPath), 0);
    EXPECT_EQ(work.ctx.wav.DataStart, trimmed.DataStart);
    EXPECT_EQ(work.ctx.wav.DataSize, trimmed.DataSize);
    EXPECT_EQ(work.ctx.wav.RiffSize, trimmed.RiffSize);

    // Start: either the old start hidden whole in a "tRsH" chunk, or the header untouched but
    // for its size fields.
    if (leadStart > ds + 8) {
        EXPECT_EQ(IdAt(out, ds - 8), "tRsH");
        EXPECT_EQ(LoadLE32(out.data() + ds - 4), leadStart - ds - 8);
        EXPECT_TRUE(SameBytes(out, ds, work.bytes, ds, leadStart - ds - 8));
        EXPECT_EQ(IdAt(out, leadStart - 8), "data");
    } else {
        EXPECT_TRUE(SameBytes(out, 8, work.bytes, 8, ds - 12));
    }

    const auto samplesOf = [&](const std::vector<uint8_t>& bytes, int64_t from, int64_t to) {
        return test::SamplesAt(bytes, static_cast<size_t>(from), static_cast<size_t>((to - from) / 2));
    };
    const auto result = [&](int64_t from, int64_t to) { return samplesOf(out, from, to); };
    const auto silence = [](int64_t from, int64_t to) {
        return std::vector<int16_t>(static_cast<size_t>(to - from) / 2);
    };
    // The original samples of a stretch, the i-th times its fade factor, rounded halves to even.
    const auto faded = [&](int64_t from, int64_t to, auto factorOf) {
        auto samples = samplesOf(work.bytes, from, to);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(std::nearbyint(samples[i] * factorOf(static_cast<double>(i))));
        return samples;
    };
    const auto fadeInLength = static_cast<double>(fadeIn - cutIn);
    const auto fadeOutLength = static_cast<double>(cutOut - fadeOut);

    EXPECT_EQ(result(leadStart, cutIn), silence(leadStart, cutIn));
    EXPECT_EQ(result(cutIn, fadeIn),
              faded(cutIn, fadeIn, [&](double i) { return (2 * i + 2) / fadeInLength; }));
    EXPECT_TRUE(SameBytes(out, fadeIn, work.bytes, fadeIn, fadeOut - fadeIn)) << "the music itself changed";
    const auto fadeOutSamples = result(fadeOut, cutOut);
    EXPECT_EQ(fadeOutSamples,
              faded(fadeOut, cutOut, [&](double i) { return (fadeOutLength - 2 * i - 2) / fadeOutLength; }));
    EXPECT_EQ(fadeOutSamples.back(), 0);
    EXPECT_EQ(result(cutOut, cutOut + leadOut), silence(cutOut, cutOut + leadOut));
    EXPECT_TRUE(SameBytes(out, cutOut + leadOut, work.bytes, ds + before.DataSize, trailerLength))
        << "the trailing chunk did not move intact";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TrimLayout,
    ::testing::Values(TrimCase{"MonoCutStart", 1, 0.5, 0.3, false},
                      TrimCase{"StereoCutStart", 2, 0.5, 0.3, false},
                      TrimCase{"NoLeadIn", 1, 0, 0.3, false},
                      TrimCase{"NoLeadOut", 2, 0.5, 0, false},
                      // 2 s of lead-out after the cut-out point, where only 1.5 s of material was.
                      TrimCase{"LeadOutLongerThanTheRest", 2, 0.5, 2, false},
                      // 1.5 s of floor before the cut-in point cannot hold 2 s of lead-in.
                      TrimCase{"LeadInLongerThanTheRoom", 1, 2, 0.3, false},
                      TrimCase{"LoudFromTheFirstWindow", 2, 0.5, 0.3, true}),
    test::RowName());

// Files the step must leave exactly as they were.
struct UntouchedCase {
    const char* name;
    int32_t sampleRate;
    size_t frames;
    bool result;
    std::vector<std::string> lines;
};
void PrintTo(const UntouchedCase& row, std::ostream* os) { *os << row.name; }

class TrimLeavesAlone : public ::testing::TestWithParam<UntouchedCase> {};

TEST_P(TrimLeavesAlone, TheFileAndItsRecord)
{
    const UntouchedCase& row = GetParam();
    test::WorkFile work;
    WavLayout layout;
    layout.channels = 2;
    layout.sampleRate = row.sampleRate;
    layout.after = {Chunk{"LIST", {1, 2, 3, 4}}};
    work.Write(layout, test::Noise(3, kFloorAmplitude, row.frames * 2));
    SetDefaults(work.ctx.settings);
    work.ctx.settings.TrimLevel = {30, 24, 24, 30};
    const WavInfo before = work.ctx.wav;

    EXPECT_EQ(Trimmed(work.ctx), row.result);
    EXPECT_EQ(work.host.lines, row.lines);
    EXPECT_EQ(test::ReadAllBytes(work.ctx.request.WorkPath), work.bytes);
    EXPECT_EQ(work.ctx.wav.DataStart, before.DataStart);
    EXPECT_EQ(work.ctx.wav.DataSize, before.DataSize);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TrimLeavesAlone,
    ::testing::Values(UntouchedCase{"QuietThroughout", 44100, 44100 * 4, true, {}},
                      UntouchedCase{"ShorterThanAWindow", 44100, 2000, true, {}},
                      UntouchedCase{"RateWithoutAFilter", 44101, 44100 * 4, false,
                                    {"No filter for this frequency"}}),
    test::RowName());

TEST(Trimmed, MeasuresWithTheFilterOfItsOwnRate)
{
    // Whatever filter an earlier file left selected (none at all after start-up, which would
    // measure every window as silence, or one of another rate), the cut is the same.
    std::vector<std::vector<uint8_t>> results;
    for (const FilterCoefficients& leftOver : {FilterCoefficients{}, *FilterForRate(8000)}) {
        test::WorkFile work;
        WritePlanned(work, Plan{}, 1, 0.5, 0.3);
        work.ctx.filter = leftOver;
        ASSERT_TRUE(Trimmed(work.ctx));
        EXPECT_EQ(work.ctx.filter.YuleB, FilterForRate(44100)->YuleB);
        results.push_back(test::ReadAllBytes(work.ctx.request.WorkPath));
        EXPECT_LT(results.back().size(), work.bytes.size());
    }
    EXPECT_EQ(results[0], results[1]);
}

TEST(Trimmed, AFailedCutIsReportedAndTheRiffSizeFollowsTheFile)
{
    test::WorkFile work;
    WritePlanned(work, Plan{}, 1, 0.5, 0.3);
    // Another writer holds the file, so the cut is refused; the step still finishes.
    const int other = ::open(work.ctx.request.WorkPath.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_TRUE(Trimmed(work.ctx));
    ::close(other);

    EXPECT_EQ(work.host.lines, std::vector<std::string>{"Could not set new EOF"});
    const auto out = test::ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(out.size(), work.bytes.size());
    EXPECT_EQ(LoadLE32(out.data() + 4), static_cast<int32_t>(out.size() - 8));
    EXPECT_EQ(work.ctx.wav.RiffSize, static_cast<int32_t>(out.size() - 8));
    EXPECT_LT(work.ctx.wav.DataStart + work.ctx.wav.DataSize, static_cast<int32_t>(out.size()));
}

TEST(Trimmed, AFullDiskEndsTheStepWithItsErrorLine)
{
    test::WorkFile work;
    // Two seconds of lead-out grow the file: the first write past its present end fails.
    WritePlanned(work, Plan{}, 1, 0.5, 2, {Chunk{"LIST", std::vector<uint8_t>(100, 7)}});
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limit = old;
    limit.rlim_cur = work.bytes.size();
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool result = Trimmed(work.ctx);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result);
    ASSERT_FALSE(work.host.lines.empty());
    EXPECT_EQ(work.host.lines.back(), "61: Disk full");
}

}  // namespace
}  // namespace varnook
