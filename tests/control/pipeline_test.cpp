#include "control/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "control/batch.h"
#include "control/command_line.h"
#include "control/context.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/stand_in_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class ProcessFileTest : public testing::Test {
protected:
    ProcessFileTest() : ctx(host)
    {
        // The defaults, as a first start without a settings file has them: every switch on.
        ctx.settings.SettingsPath = dir.File("absent.ini");
        LoadSettings(ctx);
        host.captions.clear();
    }

    std::string MakeWav(const std::string& name, int32_t rate = 44100, int16_t bits = 16)
    {
        test::WavLayout layout;
        layout.sampleRate = rate;
        layout.bitsPerSample = bits;
        layout.channels = 1;
        auto samples = test::Concat(test::Silence(rate / 2), test::Sine(440, 8000, rate, rate));
        samples = test::Concat(std::move(samples), test::Silence(rate / 2));
        const std::string path = dir.File(name);
        test::WriteAllBytes(path, test::BuildWav(layout, samples));
        return path;
    }

    void Process(const std::string& source)
    {
        ctx.request.SourcePath = source;
        ProcessFile(ctx);
    }

    // The captions the pipeline sets itself, in order; the steps' own progress captions between
    // them are left out.
    Lines PipelineCaptions() const
    {
        static const Lines kPipeline{"Recoding...", "Decoding...", "Checking wav file...", "Analyzing...",
                                     "Leveling...", "Trimming...", "Encoding...", "Varnook Progress"};
        Lines kept;
        for (const std::string& c : host.captions)
            if (std::find(kPipeline.begin(), kPipeline.end(), c) != kPipeline.end()) kept.push_back(c);
        return kept;
    }

    bool Logged(const std::string& line) const
    {
        return std::find(host.lines.begin(), host.lines.end(), line) != host.lines.end();
    }

    test::RecordingHost host;
    Context ctx;
    test::TempDir dir;
};

TEST_F(ProcessFileTest, CaptionsFollowTheStepsAndReturnToIdle)
{
    const std::string source = MakeWav("song.wav");
    Process(source);
    EXPECT_EQ(PipelineCaptions(), (Lines{"Checking wav file...", "Analyzing...", "Leveling...", "Trimming...",
                                         "Checking wav file...", "Encoding...", "Varnook Progress"}));
    EXPECT_EQ(host.captions.back(), "Varnook Progress");
    EXPECT_TRUE(Logged("Encoded OK"));
    EXPECT_TRUE(fs::exists(dir.File("song.mp3")));
    EXPECT_FALSE(fs::exists(dir.File("VRK.tmp")));
    EXPECT_GT(host.yields, 0);
}

TEST_F(ProcessFileTest, AnEarlyEndKeepsItsCaptionAndLeftoversStayUntilTheNextFile)
{
    const std::string eightBit = MakeWav("old.wav", 44100, 8);
    Process(eightBit);
    EXPECT_EQ(host.lines, (Lines{"Now processing:", eightBit, "Checking wav file...",
                                 "Only 16-bit pcm wav files supported!", ""}));
    EXPECT_EQ(host.captions.back(), "Checking wav file...");

    // A work file left behind by a file that ended early goes before anything is logged, even
    // for a source that is refused at once.
    test::WriteText(dir.File("VRK.tmp"), "leftover");
    host.lines.clear();
    host.captions.clear();
    test::WriteText(dir.File("tune.ogg"), "OggS");
    Process(dir.File("tune.ogg"));
    EXPECT_FALSE(fs::exists(dir.File("VRK.tmp")));
    EXPECT_EQ(host.lines, (Lines{"Now processing:", dir.File("tune.ogg"), "Not a valid file format!", ""}));
    EXPECT_TRUE(host.captions.empty());
}

TEST_F(ProcessFileTest, ARateWithoutFilterLevelsByZeroWithoutSayingCouldNotAnalyze)
{
    ctx.settings.Trim = false;
    ctx.settings.Encode = false;
    ctx.settings.NewLevel = -4;
    Process(MakeWav("odd.wav", 44000));
    EXPECT_TRUE(Logged("No filter for this frequency"));
    EXPECT_FALSE(Logged("Could not analyze"));
    EXPECT_TRUE(Logged("Leveling with: 0.00 dB..."));
    EXPECT_TRUE(fs::exists(dir.File("_odd.wav")));
}

TEST_F(ProcessFileTest, TrimmingAloneWorksOnACopyAndNeverOnTheSource)
{
    ctx.settings.Amplify = false;
    ctx.settings.Encode = false;
    const std::string source = MakeWav("song.wav");
    const auto before = test::ReadAllBytes(source);
    Process(source);
    EXPECT_TRUE(Logged("Trimmed OK"));
    EXPECT_EQ(test::ReadAllBytes(source), before);
    ASSERT_TRUE(fs::exists(dir.File("_song.wav")));
    EXPECT_LT(fs::file_size(dir.File("_song.wav")), before.size());
    EXPECT_FALSE(fs::exists(dir.File("VRK.tmp")));
}

TEST_F(ProcessFileTest, TagsOfAnEarlierMp3NeverReachALaterWav)
{
    ctx.tagsV2.Title = "Title of the MP3 before";
    ctx.tagsV1.Artist = "Artist of the MP3 before";
    ctx.settings.Amplify = ctx.settings.Trim = ctx.settings.Analyze = false;
    const test::StandInEncoder recorder(test::StandIn::RecordThenRealLame);
    const test::ScopedEnv path("PATH", recorder.SearchPathWithStandInFirst());
    const std::string source = MakeWav("song.wav");
    Process(source);
    ASSERT_TRUE(Logged("Encoded OK"));
    const auto runs = recorder.RecordedRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (Lines{"-h", source, dir.File("mp3.tmp")}));
}

class RunBatchTest : public ProcessFileTest {
protected:
    int Batch(const Lines& sources, const Lines& missing = {})
    {
        ParsedCommandLine commandLine;
        commandLine.Sources = sources;
        commandLine.MissingSources = missing;
        return RunBatch(ctx, commandLine);
    }
};

TEST_F(RunBatchTest, StatusFollowsTheFailureLines)
{
    ctx.settings.Encode = false;
    EXPECT_EQ(Batch({MakeWav("good.wav")}), kBatchSucceeded);
    EXPECT_FALSE(Logged("File 1 of 1"));
    EXPECT_EQ(Batch({MakeWav("odd.wav", 44000)}), kBatchFailed);  // "No filter for this frequency"
    EXPECT_EQ(Batch({MakeWav("old.wav", 44100, 8)}), kBatchFailed);
}

TEST_F(RunBatchTest, AnErrorInOneFileIsLoggedAndTheNextFileStillRuns)
{
    ctx.settings.Encode = false;
    ctx.settings.Analyze = ctx.settings.Trim = false;
    fs::create_directories(dir.Path() / "stuck");
    const std::string stuck = (dir.Path() / "stuck" / "a.wav").string();
    test::WriteAllBytes(stuck, test::ReadAllBytes(MakeWav("b.wav")));
    // A folder where the work file belongs cannot be deleted as a leftover file.
    fs::create_directories(dir.Path() / "stuck" / "VRK.tmp");

    EXPECT_EQ(Batch({stuck, dir.File("gone.wav"), dir.File("b.wav")}, {dir.File("gone.wav")}), kBatchFailed);
    const Lines& lines = host.lines;
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
              (Lines{"File 1 of 3", "75: Path/File access error", "", "File 2 of 3",
                     "Could not find " + dir.File("gone.wav"), ""}));
    EXPECT_EQ(lines[6], "File 3 of 3");
    EXPECT_TRUE(fs::exists(dir.File("_b.wav")));
}

TEST_F(RunBatchTest, AStopBetweenFilesLeavesTheRestUndone)
{
    ctx.settings.Encode = ctx.settings.Analyze = ctx.settings.Trim = false;
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
    for (const char* line : {"Could not encode", "Not a valid wav file!", "Only 16-bit pcm wav files supported!",
                             "No filter for this frequency", "Could not find /x.wav"})
        EXPECT_TRUE(IsFailureLine(line)) << line;
    for (const char* line : {"Encoded OK", "", "Now processing:", "/music/Could not stop.wav", "Nothing"})
        EXPECT_FALSE(IsFailureLine(line)) << line;
}

}  // namespace
}  // namespace varnook
