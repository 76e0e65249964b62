#include "pipeline/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "library/batch.h"
#include "cli/command_line.h"
#include "base/context.h"
#include "settings/run_settings_file.h"
#include "support/captured_run.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/stand_in_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Asks for a stop when the analysis starts, as a user watching the log would.
class StopAtAnalysis : public test::RecordingHost {
public:
    void LogLine(const std::string& line) override
    {
        RecordingHost::LogLine(line);
        if (stopAtAnalysis && line == "Analyzing...") stop->Request();
    }
    std::shared_ptr<StopRequest> stop;
    bool stopAtAnalysis = false;
};

class RunBatchTest : public testing::Test {
protected:
    // The defaults, as a first start without a settings file has them: every switch on.
    RunBatchTest() : ctx(host)
    {
        host.stop = ctx.stop;
        ctx.settings.SettingsPath = dir.File("absent.ini");
        LoadSettings(ctx);
    }

    // Half a second of silence, two seconds of a full-scale 1000 Hz tone (14.17 dB too loud),
    // half a second of silence; an MP3 of it made by the real lame.
    std::string MakeSource(const std::string& name, int32_t rate = 44100)
    {
        test::WavLayout layout;
        layout.sampleRate = rate;
        const auto edge = test::Silence(static_cast<size_t>(rate / 2));
        const auto tone = test::Sine(1000, 32767, rate, static_cast<size_t>(2 * rate));
        const std::string wav = name.ends_with(".mp3") ? scratch.File("tone.wav") : dir.File(name);
        test::WriteAllBytes(wav, test::BuildWav(layout, test::Concat(test::Concat(edge, tone), edge)));
        if (name.ends_with(".mp3")) {
            EXPECT_EQ(test::RunCaptured("lame", {"--quiet", wav, dir.File(name)}).exitCode, 0);
        }
        return dir.File(name);
    }

    int Run(const std::vector<std::string>& sources)
    {
        ParsedCommandLine commandLine;
        commandLine.Sources = sources;
        return RunBatch(ctx, commandLine);
    }

    std::map<std::string, std::vector<uint8_t>> Contents() const
    {
        std::map<std::string, std::vector<uint8_t>> files;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            files[entry.path().filename().string()] = test::ReadAllBytes(entry.path().string());
        return files;
    }
    bool Logged(const std::string& line) const { return std::ranges::count(host.lines, line) > 0; }

    StopAtAnalysis host;
    Context ctx;
    test::TempDir dir;
    test::TempDir scratch;
};

struct StepCase {
    const char* name;
    std::string source;
    std::array<bool, 4> steps;  // analyse, amplify, trim, encode
    double newLevel;
    Lines log;                  // found in this order
    std::set<std::string> after;
    bool usersWav = false;      // a "song.wav" of the user's own beside the source
};

class Steps : public RunBatchTest, public testing::WithParamInterface<StepCase> {};

TEST_P(Steps, RunInTurnAndWriteOnlyTheOutput)
{
    const StepCase& row = GetParam();
    const std::string source = MakeSource(row.source);
    if (row.usersWav) test::WriteText(dir.File("song.wav"), "the user's own");
    const auto before = Contents();
    std::tie(ctx.settings.Analyze, ctx.settings.Amplify, ctx.settings.Trim, ctx.settings.Encode) =
        std::tuple_cat(row.steps);
    ctx.settings.NewLevel = row.newLevel;
    EXPECT_EQ(Run({source}), kBatchSucceeded);
    auto at = host.lines.begin();
    for (const std::string& line : row.log) {
        at = std::find(at, host.lines.end(), line);
        ASSERT_NE(at, host.lines.end()) << "[" << line << "] missing or out of order";
    }
    std::set<std::string> after;
    for (const auto& [name, bytes] : Contents()) after.insert(name);
    EXPECT_EQ(after, row.after);
    for (const auto& [name, bytes] : before) EXPECT_EQ(test::ReadAllBytes(dir.File(name)), bytes);
    if (row.steps[2] && !row.steps[3]) {
        EXPECT_LT(fs::file_size(dir.File("_song.wav")), fs::file_size(source)) << "not trimmed";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Steps,
    testing::Values(
        StepCase{"AnalysedGainPlusNewLevel", "song.wav", {1, 1, 0, 0}, -4,
                 {"Recommended gain: -14.17 dB", "Leveling with: -18.17 dB...", "Leveled OK"},
                 {"song.wav", "_song.wav"}},
        StepCase{"NewLevelAloneWithoutAnalysis", "song.wav", {0, 1, 0, 0}, -4,
                 {"Leveling with: -4.00 dB..."}, {"song.wav", "_song.wav"}},
        StepCase{"WavTrimmedOnly", "song.wav", {1, 0, 1, 0}, 0, {"Trimming...", "Trimmed OK"},
                 {"song.wav", "_song.wav"}},
        StepCase{"Mp3TrimmedOnlyIsDecodedFirst", "song.mp3", {1, 0, 1, 1}, 0,
                 {"Decoding...", "Decoded OK", "Trimming...", "Trimmed OK", "Encoded OK"},
                 {"song.mp3", "_song.mp3"}},
        StepCase{"Mp3BesideTheUsersWav", "song.mp3", {0, 1, 0, 1}, 0,
                 {"Decoded OK", "Leveled OK", "Encoded OK"}, {"song.mp3", "song.wav", "_song.mp3"},
                 true}),
    test::RowName());

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
    EXPECT_EQ(Run({MakeSource("odd.wav", 44000)}), kBatchFailed);
    EXPECT_TRUE(Logged("No filter for this frequency") && Logged("Leveling with: 0.00 dB..."));
    EXPECT_FALSE(Logged("Could not analyze"));
    EXPECT_EQ(recorder.RecordedRuns(), (std::vector<Lines>{{"-h", dir.File("VRK.tmp"), dir.File("mp3.tmp")}}));
    EXPECT_EQ(host.captions.back(), "Varnook Progress");
}

// A stop asked for in the middle of a step (Ctrl+C, the progress window closed) ends the file
// there and leaves no work file, not even the MP3's decoded WAV. One between files shows in the
// end-to-end and window runs.
TEST_F(RunBatchTest, AStopInAStepEndsTheFileThere)
{
    host.stopAtAnalysis = true;
    for (const std::string name : {"song.wav", "song.mp3"}) {
        SCOPED_TRACE(name);
        fs::remove_all(dir.Path());
        fs::create_directory(dir.Path());
        host.stop = ctx.stop = std::make_shared<StopRequest>();
        host.lines.clear();
        ctx.request.SourcePath = MakeSource(name);
        ProcessFile(ctx);
        EXPECT_TRUE(std::ranges::none_of(host.lines, [](const std::string& line) {
            return line.starts_with("Recommended gain") || line.starts_with("Leveling");
        }));
        EXPECT_EQ(Contents().size(), 1u);
        EXPECT_TRUE(fs::exists(dir.File(name)));
    }
}

TEST(FailureLines, AreRecognisedByTheirOpening)
{
    for (const char* line : {"Could not encode", "Not a valid wav file!", "Could not find /x.wav",
                             "No filter for this frequency", "Only 16-bit pcm wav files supported!"})
        EXPECT_TRUE(IsFailureLine(line)) << line;
    for (const char* line : {"Encoded OK", "", "/music/Could not stop.wav", "Nothing"})
        EXPECT_FALSE(IsFailureLine(line)) << line;
}

}  // namespace
}  // namespace varnook
