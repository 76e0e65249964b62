#include "settings/run_settings_file.h"
#include "control/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "control/batch.h"
#include "control/command_line.h"
#include "base/context.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/stand_in_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class RunBatchTest : public testing::Test {
protected:
    RunBatchTest() : ctx(host)
    {
        // The defaults, as a first start without a settings file has them: every switch on.
        ctx.settings.SettingsPath = dir.File("absent.ini");
        LoadSettings(ctx);
    }

    std::string MakeWav(const std::string& name, int32_t rate = 44100)
    {
        test::WavLayout layout;
        layout.sampleRate = rate;
        layout.channels = 1;
        const std::string path = dir.File(name);
        test::WriteAllBytes(path, test::BuildWav(layout, test::Sine(440, 8000, rate, rate)));
        return path;
    }

    test::RecordingHost host;
    Context ctx;
    test::TempDir dir;
};

// A rate without a filter levels by 0 dB without "Could not analyze", and the tags left in the
// records by an earlier MP3 never reach the encoding of a later WAV.
TEST_F(RunBatchTest, ARateWithoutFilterLevelsByZeroAndCarriesNoStaleTags)
{
    ctx.tagsV2.Title = "Title of the MP3 before";
    ctx.tagsV1.Artist = "Artist of the MP3 before";
    ctx.settings.Trim = false;
    ctx.settings.NewLevel = -4;
    const test::StandInEncoder recorder(test::StandIn::RecordThenRealLame);
    const test::ScopedEnv path("PATH", recorder.SearchPathWithStandInFirst());
    ParsedCommandLine commandLine;
    commandLine.Sources = {MakeWav("odd.wav", 44000)};
    EXPECT_EQ(RunBatch(ctx, commandLine), kBatchFailed);
    const auto logged = [&](const std::string& line) {
        return std::find(host.lines.begin(), host.lines.end(), line) != host.lines.end();
    };
    EXPECT_TRUE(logged("No filter for this frequency"));
    EXPECT_FALSE(logged("Could not analyze"));
    EXPECT_TRUE(logged("Leveling with: 0.00 dB..."));
    ASSERT_EQ(recorder.RecordedRuns(), (std::vector<Lines>{
        {"-h", dir.File("VRK.tmp"), dir.File("mp3.tmp")}}));
    EXPECT_EQ(host.captions.back(), "Varnook Progress");
}

TEST_F(RunBatchTest, AStopBetweenFilesLeavesTheRestUndone)
{
    ctx.settings.Encode = ctx.settings.Analyze = ctx.settings.Trim = false;
    ctx.settings.Jobs = 1;
    ParsedCommandLine commandLine;
    commandLine.Sources = {MakeWav("one.wav"), MakeWav("two.wav")};
    int asked = 0;
    EXPECT_EQ(RunBatch(ctx, commandLine, [&] { return ++asked > 1; }), kBatchFailed);
    EXPECT_TRUE(fs::exists(dir.File("_one.wav")));
    EXPECT_FALSE(fs::exists(dir.File("_two.wav")));
    EXPECT_EQ(host.lines.back(), "Interrupted by user");
}

TEST(FailureLines, AreRecognisedByTheirOpening)
{
    for (const char* line : {"Could not encode", "Not a valid wav file!", "Could not find /x.wav",
                             "No filter for this frequency",
                             "Only 16-bit pcm wav files supported!"})
        EXPECT_TRUE(IsFailureLine(line)) << line;
    for (const char* line : {"Encoded OK", "", "/music/Could not stop.wav", "Nothing"})
        EXPECT_FALSE(IsFailureLine(line)) << line;
}

}  // namespace
}  // namespace varnook
