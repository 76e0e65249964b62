#include "settings/run_settings_file.h"
#include "editing/trim.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/filter.h"
#include "editing/work_file.h"
#include "io/byte_order.h"
#include "support/param_name.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

// At 44100 Hz a window is 2205 frames and the searches step by 1102 frames: window i covers
// frames [1102 i, 1102 i + 2205) of the data. The test signal puts its edges on that grid so
// that each search must stop at a window known in advance:
//   noise floor | quiet | loud | quiet | noise floor
// The quiet level (about 25.5 dB below the reference) is audible for the cut thresholds (30)
// once half a window holds it, but not for the fade thresholds (24); any part of the loud
// sine in a window makes it audible for both.
constexpr int64_t kStep = 1102;
constexpr int64_t kWin = 2205;

// The windows where each search must stop, for a signal that starts quietly.
constexpr int64_t kCutIn = 60;     // the quiet part takes half the window
constexpr int64_t kFadeIn = 70;    // the first window that reaches into the loud part
constexpr int64_t kFadeOut = 370;  // the last window that reaches into the loud part
constexpr int64_t kCutOut = 380;   // the last window that holds half a window of the quiet part

// The planned signal as the work file, with the default thresholds and the given leads.
void WritePlanned(test::WorkFile& work, int16_t channels, double leadIn, double leadOut,
                  std::vector<test::Chunk> trailer = {}, bool loudFromStart = false)
{
    const auto frames = static_cast<size_t>(kStep * 440 + kWin);  // 440 is the last whole window
    const int64_t quietStart = loudFromStart ? 0 : kStep * kCutIn + kWin - kStep;
    const int64_t loudStart = loudFromStart ? 0 : kStep * kFadeIn + kWin - kStep + 500;
    const auto quiet = test::Sine(1000, 340, 44100, frames, channels);
    const auto loud = test::Sine(1000, 20000, 44100, frames, channels);
    auto samples = test::Noise(17, 2, frames * static_cast<size_t>(channels));  // not silent
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto frame = static_cast<int64_t>(i) / channels;
        if (frame >= loudStart && frame < kStep * (kFadeOut + 1) - 500)
            samples[i] = loud[i];
        else if (frame >= quietStart && frame < kStep * (kCutOut + 1))
            samples[i] = quiet[i];
    }
    work.Write(channels, samples, std::move(trailer));
    SetDefaults(work.ctx.settings);
    work.ctx.settings.TrimLevel = {30, 24, 24, 30};
    work.ctx.settings.Lead = {leadIn, leadOut};
    work.ctx.settings.NewLevel = 0;
}

// Lead silence in bytes: the seconds at the byte rate, rounded, cut to whole frames.
int64_t LeadBytes(const WavInfo& wav, double seconds)
{
    const auto bytes = static_cast<int64_t>(std::nearbyint(wav.ByteRate * seconds));
    return bytes / wav.BlockAlign * wav.BlockAlign;
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
    // A trailing chunk longer than any move, so an outward move overlaps itself.
    std::vector<uint8_t> trailer(200001);
    for (size_t i = 0; i < trailer.size(); ++i) trailer[i] = static_cast<uint8_t>(i * 13 + 5);
    test::WorkFile work;
    WritePlanned(work, row.channels, row.leadIn, row.leadOut, {{"id3 ", trailer}},
                 row.loudFromStart);
    // Whatever filter an earlier file left selected (none after start-up, which would measure
    // every window as silence, or one of another rate), the step measures with its own.
    if (row.channels == 2) work.ctx.filter = *FilterForRate(8000);

    // Where the step must cut, from the planned windows and the lead rules.
    const WavInfo before = work.ctx.wav;
    const int64_t ds = before.DataStart;
    const int64_t frameBytes = before.BlockAlign;
    const int64_t cutIn = ds + (row.loudFromStart ? 0 : kStep * kCutIn * frameBytes);
    const int64_t fadeIn = ds + (row.loudFromStart ? 0 : kStep * kFadeIn * frameBytes);
    const int64_t fadeOut = ds + (kStep * kFadeOut + kWin) * frameBytes;
    const int64_t cutOut = ds + (kStep * kCutOut + kWin) * frameBytes;
    const int64_t v = cutIn - LeadBytes(before, row.leadIn);
    const int64_t leadStart = v >= ds + 8 ? ds + (v - ds) / frameBytes * frameBytes : ds;
    const int64_t leadEnd = cutOut + LeadBytes(before, row.leadOut);

    ASSERT_TRUE(Trimmed(work.ctx));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"New EOF set"});
    std::vector<std::string> captions;  // the step's own, without the analysis's percentages
    std::ranges::copy_if(work.host.captions, std::back_inserter(captions), [](const auto& c) {
        return c.find_first_not_of("0123456789") != std::string::npos;
    });
    const std::vector<std::string> steps = {
        "Find Cut In", "Find Fade In", "Find Cut Out", "Write Lead In", "Write Fade In",
        "Find Fade Out", "Write Fade Out", "Save and rewrite info at end", "Write Lead Out"};
    EXPECT_EQ(captions, steps);

    // The header, with the old start hidden whole in a chunk of its own when there is room.
    std::vector<uint8_t> expected(work.bytes.begin(), work.bytes.begin() + leadStart);
    if (leadStart > ds) {
        std::ranges::copy(std::string("tRsH"), expected.begin() + ds - 8);
        StoreLE32(&expected[ds - 4], static_cast<int32_t>(leadStart - ds - 8));
        std::ranges::copy(std::string("data"), expected.begin() + leadStart - 8);
    }
    const auto trailerLength = static_cast<int64_t>(work.bytes.size()) - (ds + before.DataSize);
    StoreLE32(&expected[4], static_cast<int32_t>(leadEnd + trailerLength - 8));
    StoreLE32(&expected[leadStart - 4], static_cast<int32_t>(leadEnd - leadStart));
    // Silence, the fade-in, the music untouched, the fade-out, silence, the trailer moved.
    // A fade scales the i-th sample by its factor, rounding halves to even.
    const auto appendFaded = [&](int64_t from, int64_t to, auto factorOf) {
        const auto samples = test::SamplesAt(work.bytes, from, (to - from) / 2);
        expected.resize(expected.size() + samples.size() * 2);
        uint8_t* at = expected.data() + expected.size() - samples.size() * 2;
        for (size_t i = 0; i < samples.size(); ++i) {
            const double factor = factorOf(static_cast<double>(i));
            StoreLE16(at + 2 * i, static_cast<int16_t>(std::nearbyint(samples[i] * factor)));
        }
    };
    expected.resize(cutIn, 0);
    const auto fadeInLength = static_cast<double>(fadeIn - cutIn);
    appendFaded(cutIn, fadeIn, [&](double i) { return (2 * i + 2) / fadeInLength; });
    expected.insert(expected.end(), work.bytes.begin() + fadeIn, work.bytes.begin() + fadeOut);
    const auto fadeOutLength = static_cast<double>(cutOut - fadeOut);
    appendFaded(fadeOut, cutOut,
                [&](double i) { return (fadeOutLength - 2 * i - 2) / fadeOutLength; });
    expected.resize(leadEnd, 0);
    expected.insert(expected.end(), work.bytes.end() - trailerLength, work.bytes.end());
    test::ExpectSameBytes(test::ReadAllBytes(work.ctx.request.WorkPath), expected);

    // The record holds the new layout, as the header check reads it from the file.
    const WavInfo left = work.ctx.wav;
    EXPECT_EQ(left.DataStart, leadStart);
    EXPECT_EQ(left.DataSize, leadEnd - leadStart);
    ASSERT_GE(WavTime(work.ctx.host, work.ctx.wav, work.ctx.request.WorkPath), 0);
    EXPECT_EQ(work.ctx.wav.DataStart, left.DataStart);
    EXPECT_EQ(work.ctx.wav.DataSize, left.DataSize);
    EXPECT_EQ(work.ctx.wav.RiffSize, left.RiffSize);
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

TEST(Trimmed, LeavesQuietShortAndUnfilterableFilesAlone)
{
    const struct {
        int32_t sampleRate;
        size_t frames;
        bool result;
        std::vector<std::string> lines;
    } rows[] = {{44100, 44100 * 4, true, {}},  // the noise floor throughout
                {44100, 2000, true, {}},       // shorter than a window
                {44101, 44100 * 4, false, {"No filter for this frequency"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.frames + row.sampleRate);
        test::WorkFile work;
        work.Write(2, test::Noise(3, 2, row.frames * 2), {{"LIST", {1, 2, 3, 4}}}, row.sampleRate);
        SetDefaults(work.ctx.settings);
        work.ctx.settings.TrimLevel = {30, 24, 24, 30};
        const WavInfo before = work.ctx.wav;
        EXPECT_EQ(Trimmed(work.ctx), row.result);
        EXPECT_EQ(work.host.lines, row.lines);
        EXPECT_EQ(test::ReadAllBytes(work.ctx.request.WorkPath), work.bytes);
        EXPECT_EQ(work.ctx.wav.DataStart, before.DataStart);
        EXPECT_EQ(work.ctx.wav.DataSize, before.DataSize);
    }
}

TEST(Trimmed, AFailedCutIsReportedAndTheRiffSizeFollowsTheFile)
{
    test::WorkFile work;
    WritePlanned(work, 1, 0.5, 0.3);
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
    WritePlanned(work, 1, 0.5, 2, {{"LIST", std::vector<uint8_t>(100, 7)}});
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
