#include "editing/trim.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "editing/work_file.h"
#include "support/param_name.h"
#include "support/read_only.h"
#include "io/byte_order.h"
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

std::vector<int16_t> Section(const std::vector<int16_t>& sine, int channels, int64_t from, int64_t to)
{
    return {sine.begin() + from * channels, sine.begin() + to * channels};
}

std::vector<int16_t> PlannedSignal(const Plan& plan, int16_t channels)
{
    const auto frames = static_cast<size_t>(plan.Frames());
    const auto quiet = test::Sine(1000, kQuietAmplitude, 44100, frames, channels);
    const auto loud = test::Sine(1000, kLoudAmplitude, 44100, frames, channels);
    const auto floor = test::Noise(17, kFloorAmplitude, frames * static_cast<size_t>(channels));
    std::vector<int16_t> out = Section(floor, channels, 0, plan.QuietStart());
    out = test::Concat(out, Section(quiet, channels, plan.QuietStart(), plan.LoudStart()));
    out = test::Concat(out, Section(loud, channels, plan.LoudStart(), plan.LoudEnd()));
    out = test::Concat(out, Section(quiet, channels, plan.LoudEnd(), plan.QuietEnd()));
    return test::Concat(out, Section(floor, channels, plan.QuietEnd(), plan.Frames()));
}

void UseDefaultLevels(RunSettings& settings, double leadIn, double leadOut)
{
    settings.TrimLevel = {30, 24, 24, 30};
    settings.Lead = {leadIn, leadOut};
    settings.NewLevel = 0;
    settings.PinkRef = kDefaultPinkRef;
    settings.RmsPercent = kDefaultRmsPercent;
    settings.RmsDiff = kDefaultRmsDiff;
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

    test::WorkFile work;
    WavLayout layout;
    layout.channels = row.channels;
    layout.before = {Chunk{"LIST", std::vector<uint8_t>(26, 'b')}};
    std::vector<uint8_t> trailer(200001);
    for (size_t i = 0; i < trailer.size(); ++i) trailer[i] = static_cast<uint8_t>(i * 13 + 5);
    layout.after = {Chunk{"id3 ", trailer}};
    work.Write(layout, PlannedSignal(plan, row.channels));
    UseDefaultLevels(work.ctx.settings, row.leadIn, row.leadOut);
    const WavInfo before = work.ctx.wav;
    const int64_t ds = before.DataStart;
    const int64_t frameBytes = before.BlockAlign;

    // The signal holds what the plan says it holds.
    ASSERT_TRUE(SetFilter(work.ctx));
    if (!row.loudFromStart) {
        EXPECT_GE(LevelAt(work, kStep * (plan.cutIn - 1)), 30);
        EXPECT_LT(LevelAt(work, kStep * plan.cutIn), 30);
        EXPECT_GE(LevelAt(work, kStep * plan.cutIn), 24);
        EXPECT_GE(LevelAt(work, kStep * (plan.fadeIn - 1)), 24);
    }
    EXPECT_LT(LevelAt(work, kStep * plan.fadeIn), 24);
    EXPECT_LT(LevelAt(work, kStep * plan.fadeOut), 24);
    EXPECT_GE(LevelAt(work, kStep * (plan.fadeOut + 1)), 24);
    EXPECT_LT(LevelAt(work, kStep * plan.cutOut), 30);
    EXPECT_GE(LevelAt(work, kStep * (plan.cutOut + 1)), 30);
    ASSERT_FALSE(HasFailure()) << "the test signal does not have the planned levels";

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
    std::vector<std::string> stepCaptions;
    for (const auto& caption : work.host.captions)
        if (caption.find_first_not_of("0123456789") != std::string::npos) stepCaptions.push_back(caption);
    EXPECT_EQ(stepCaptions, (std::vector<std::string>{"Find Cut In", "Find Fade In", "Find Cut Out",
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
    const auto original = [&](int64_t from, int64_t to) { return samplesOf(work.bytes, from, to); };
    const auto result = [&](int64_t from, int64_t to) { return samplesOf(out, from, to); };

    EXPECT_EQ(result(leadStart, cutIn), std::vector<int16_t>(static_cast<size_t>(cutIn - leadStart) / 2, 0));
    std::vector<int16_t> expectedFadeIn = original(cutIn, fadeIn);
    for (size_t i = 0; i < expectedFadeIn.size(); ++i) {
        const double factor = static_cast<double>(2 * i + 2) / static_cast<double>(fadeIn - cutIn);
        expectedFadeIn[i] = static_cast<int16_t>(std::nearbyint(expectedFadeIn[i] * factor));
    }
    EXPECT_EQ(result(cutIn, fadeIn), expectedFadeIn);
    EXPECT_TRUE(SameBytes(out, fadeIn, work.bytes, fadeIn, fadeOut - fadeIn)) << "the music itself changed";
    std::vector<int16_t> expectedFadeOut = original(fadeOut, cutOut);
    for (size_t i = 0; i < expectedFadeOut.size(); ++i) {
        const double factor = static_cast<double>(cutOut - fadeOut - 2 * static_cast<int64_t>(i) - 2) /
                              static_cast<double>(cutOut - fadeOut);
        expectedFadeOut[i] = static_cast<int16_t>(std::nearbyint(expectedFadeOut[i] * factor));
    }
    EXPECT_EQ(result(fadeOut, cutOut), expectedFadeOut);
    ASSERT_FALSE(expectedFadeOut.empty());
    EXPECT_EQ(expectedFadeOut.back(), 0);
    EXPECT_EQ(result(cutOut, cutOut + leadOut), std::vector<int16_t>(static_cast<size_t>(leadOut) / 2, 0));
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
    UseDefaultLevels(work.ctx.settings, 0.2, 0.2);
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
    Plan plan;
    std::vector<std::vector<uint8_t>> results;
    for (const FilterCoefficients& leftOver : {FilterCoefficients{}, *FilterForRate(8000)}) {
        test::WorkFile work;
        work.Write(WavLayout{}, PlannedSignal(plan, 1));
        UseDefaultLevels(work.ctx.settings, 0.5, 0.3);
        work.ctx.filter = leftOver;
        ASSERT_TRUE(Trimmed(work.ctx));
        EXPECT_EQ(work.host.lines, std::vector<std::string>{"New EOF set"});
        EXPECT_EQ(work.ctx.filter.YuleB, FilterForRate(44100)->YuleB);
        results.push_back(test::ReadAllBytes(work.ctx.request.WorkPath));
        EXPECT_LT(results.back().size(), work.bytes.size());
    }
    EXPECT_EQ(results[0], results[1]);
}

TEST(Trimmed, AFailedCutIsReportedAndTheRiffSizeFollowsTheFile)
{
    Plan plan;
    test::WorkFile work;
    work.Write(WavLayout{}, PlannedSignal(plan, 1));
    UseDefaultLevels(work.ctx.settings, 0.5, 0.3);

    // Another writer holds the file, so the cut is refused; the step still finishes.
    const int other = ::open(work.ctx.request.WorkPath.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    const bool result = Trimmed(work.ctx);
    ::close(other);

    EXPECT_TRUE(result);
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"Could not set new EOF"});
    const auto out = test::ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(out.size(), work.bytes.size());
    EXPECT_EQ(LoadLE32(out.data() + 4), static_cast<int32_t>(out.size() - 8));
    EXPECT_EQ(work.ctx.wav.RiffSize, static_cast<int32_t>(out.size() - 8));
    EXPECT_LT(work.ctx.wav.DataStart + work.ctx.wav.DataSize, static_cast<int32_t>(out.size()));
}

TEST(Trimmed, AFileItMayNotWriteKeepsItsBytes)
{
    Plan plan;
    test::WorkFile work;
    work.Write(WavLayout{}, PlannedSignal(plan, 2));
    UseDefaultLevels(work.ctx.settings, 0.5, 0.3);
    test::ReadOnlyFile locked(work.ctx.request.WorkPath);
    if (!locked.WritesRefused()) GTEST_SKIP() << "this environment cannot take the write right away";

    EXPECT_FALSE(Trimmed(work.ctx));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"70: Permission denied"});
    EXPECT_EQ(test::ReadAllBytes(work.ctx.request.WorkPath), work.bytes);
}

TEST(Trimmed, AFullDiskEndsTheStepWithItsErrorLine)
{
    Plan plan;
    test::WorkFile work;
    WavLayout layout;
    layout.after = {Chunk{"LIST", std::vector<uint8_t>(100, 7)}};
    work.Write(layout, PlannedSignal(plan, 1));
    // Two seconds of lead-out grow the file: the first write past its present end fails.
    UseDefaultLevels(work.ctx.settings, 0.5, 2);

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
    EXPECT_EQ(test::ReadAllBytes(work.ctx.request.WorkPath).size(), work.bytes.size());
}

}  // namespace
}  // namespace varnook
