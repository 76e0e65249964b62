#include "editing/trim.h"
#include "editing/truncate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "editing/work_file.h"
#include "io/byte_order.h"
#include "settings/run_settings_file.h"
#include "support/param_name.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

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

void WritePlanned(test::WorkFile& work, int16_t channels, bool loudFromStart,
                  std::vector<test::Chunk> trailer = {})
{
    const auto quiet = test::Sine(1000, 340, 44100, kFrames, channels);
    const auto loud = test::Sine(1000, 20000, 44100, kFrames, channels);
    auto samples = test::Noise(17, 2, kFrames * static_cast<size_t>(channels));  // not silent
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto frame = static_cast<int64_t>(i) / channels;
        if (frame >= (loudFromStart ? 0 : 78743) && frame < 408342)
            samples[i] = loud[i];
        else if (frame >= (loudFromStart ? 0 : 67223) && frame < 419862)
            samples[i] = quiet[i];
        if (frame == kFadeInHalf) samples[i] = 339;
        if (frame == kFadeOutHalf) samples[i] = 337;
    }
    work.Write(channels, samples, std::move(trailer));
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
};

class TrimLayout : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimLayout, CutsFadesAndLeadsWhereTheWindowsSay)
{
    const TrimCase& row = GetParam();
    // Longer than any move, so the trailer's move outwards overlaps itself.
    std::vector<uint8_t> trailer(200001);
    for (size_t i = 0; i < trailer.size(); ++i) trailer[i] = static_cast<uint8_t>(i * 13 + 5);
    test::WorkFile work;
    WritePlanned(work, row.channels, row.loudFromStart, {{"id3 ", trailer}});
    work.ctx.settings.Lead = row.lead;
    work.ctx.settings.TrimLevel = row.thresholds;
    work.ctx.settings.NewLevel = row.newLevel;
    const int64_t ds = work.ctx.wav.DataStart;
    const int64_t fb = 2 * row.channels;
    const auto at = [&](int64_t frame) { return ds + frame * fb; };

    ASSERT_TRUE(Trimmed(work.ctx));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"New EOF set"});
    const auto& in = work.bytes;
    const auto out = test::ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(out.size(), static_cast<size_t>(at(row.end)) + trailer.size() + 8);
    const auto same = [&](int64_t from, int64_t to) {
        return std::equal(out.begin() + from, out.begin() + to, in.begin() + from);
    };
    const auto silent = [&](int64_t from, int64_t to) {
        return std::all_of(out.begin() + from, out.begin() + to, [](uint8_t b) { return b == 0; });
    };
    const auto sample = [&](int64_t frame) { return LoadLE16(out.data() + at(frame + 1) - 2); };

    // The old start stays where it was, hidden in a chunk of its own when there is one.
    EXPECT_EQ(LoadLE32(out.data() + 4), static_cast<int32_t>(out.size() - 8));
    const std::string hidden(out.begin() + ds - 8, out.begin() + ds - 4);
    EXPECT_EQ(hidden, row.leadStart > 0 ? "tRsH" : "data");
    EXPECT_TRUE(same(8, ds - 8) && (row.leadStart == 0 || same(ds, at(row.leadStart) - 8)));
    EXPECT_EQ(std::string(out.begin() + at(row.leadStart) - 8, out.begin() + at(row.leadStart) - 4), "data");
    EXPECT_EQ(LoadLE32(out.data() + at(row.leadStart) - 4), (row.end - row.leadStart) * fb);
    EXPECT_EQ(work.ctx.wav.DataStart, at(row.leadStart));
    EXPECT_EQ(work.ctx.wav.DataSize, (row.end - row.leadStart) * fb);

    EXPECT_TRUE(silent(at(row.leadStart), at(row.cutIn)));
    if (row.fadeIn == 77140) {
        EXPECT_EQ(sample(kFadeInHalf), 170);
    }
    EXPECT_TRUE(same(at(row.fadeIn), at(row.fadeOut)));
    if (row.fadeOut == 409945 && row.cutOut == 420965) {
        EXPECT_EQ(sample(kFadeOutHalf), 168);
    }
    if (row.fadeOut < row.cutOut) {
        EXPECT_EQ(sample(row.cutOut - 1), 0);
    }
    EXPECT_TRUE(silent(at(row.cutOut), at(row.end)));
    EXPECT_TRUE(std::equal(out.end() - static_cast<int64_t>(trailer.size()) - 8, out.end(),
                           in.end() - static_cast<int64_t>(trailer.size()) - 8));

    // The header check walks past the hidden start to the same samples.
    WavInfo again;
    ASSERT_GE(WavTime(work.host, again, work.ctx.request.WorkPath), 0);
    EXPECT_EQ(std::pair(again.DataStart, again.DataSize), std::pair(work.ctx.wav.DataStart, work.ctx.wav.DataSize));
}

const TrimCase kLayouts[] = {
    {"Mono", 1, {.5, .3}, {30, 24, 24, 30}, 0, false, 44070, 66120, 77140, 409945, 420965, 434195},
    {"Stereo", 2, {.5, .3}, {30, 24, 24, 30}, 0, false, 44070, 66120, 77140, 409945, 420965, 434195},
    {"NoLeads", 2, {0, 0}, {30, 24, 24, 30}, 0, false, 66120, 66120, 77140, 409945, 420965, 420965},
    // 2 s of lead-out where only 1.5 s of material was; 2 s of lead-in find 1.5 s of room.
    {"LeadOutPastTheOldEnd", 2, {.5, 2}, {30, 24, 24, 30}, 0, false, 44070, 66120, 77140, 409945,
     420965, 509165},
    {"LeadInLongerThanTheRoom", 1, {2, .3}, {30, 24, 24, 30}, 0, false, 0, 66120, 77140, 409945,
     420965, 434195},
    {"LoudFromTheFirstWindow", 2, {.5, .3}, {30, 24, 24, 30}, 0, true, 0, 0, 0, 409945, 420965, 434195},
    // A window's level is its gain plus NewLevel: 6 dB down, thresholds 6 dB lower.
    {"NewLevelCounts", 1, {.5, .3}, {24, 18, 18, 24}, -6, false, 44070, 66120, 77140, 409945, 420965, 434195},
    {"OwnFadeOutThreshold", 1, {.5, .3}, {30, 24, 27, 30}, 0, false, 44070, 66120, 77140, 419863, 420965, 434195},
    {"OwnCutOutThreshold", 1, {.5, .3}, {30, 24, 24, 20}, 0, false, 44070, 66120, 77140, 409945, 409945, 423175},
};

INSTANTIATE_TEST_SUITE_P(Layouts, TrimLayout, ::testing::ValuesIn(kLayouts), test::RowName());

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
        EXPECT_EQ(Trimmed(work.ctx), row.result);
        EXPECT_EQ(work.host.lines, row.lines);
        EXPECT_EQ(test::ReadAllBytes(work.ctx.request.WorkPath), work.bytes);
    }
}

TEST(Trimmed, AFailedCutIsReportedAndTheRiffSizeFollowsTheFile)
{
    test::WorkFile work;
    WritePlanned(work, 1, false);
    // Another writer holds the file, so the cut is refused; the step still finishes.
    const int other = ::open(work.ctx.request.WorkPath.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_TRUE(Trimmed(work.ctx));
    ::close(other);
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"Could not set new EOF"});
    const auto out = test::ReadAllBytes(work.ctx.request.WorkPath);
    ASSERT_EQ(out.size(), work.bytes.size());
    EXPECT_EQ(LoadLE32(out.data() + 4), static_cast<int32_t>(out.size() - 8));
}

// A longer length grows the file by zero bytes. Refusals leave the file as it was; a file
// another writer holds is refused too, which the trim step meets as a failed cut above.
TEST(TruncateFile, EndsTheFileThereOrRefusesAndLeavesItAlone)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    std::vector<uint8_t> original(1000);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7 + 1);
    for (const int32_t newLength : {600, 1500, 0, -1}) {
        SCOPED_TRACE(newLength);
        test::WriteAllBytes(path, original);
        EXPECT_EQ(TruncateFile(path, newLength), newLength >= 0);
        auto expected = original;
        if (newLength >= 0) expected.resize(static_cast<size_t>(newLength), 0);
        EXPECT_EQ(test::ReadAllBytes(path), expected);
    }
    EXPECT_FALSE(TruncateFile(dir.File("missing.wav"), 10));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.wav")));
    EXPECT_FALSE(TruncateFile(dir.Path().string(), 10));
}

}  // namespace
}  // namespace varnook
