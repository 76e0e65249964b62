#include "pipeline/pipeline.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <latch>
#include <map>
#include <set>
#include <sstream>

#include "base/context.h"
#include "cli/batch.h"
#include "cli/command_line.h"
#include "library/run_loop.h"
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

class RunBatchTest : public testing::Test {
protected:
    // The defaults, as a first start without a settings file has them: every switch on.
    RunBatchTest() : ctx(host)
    {
        ctx.settings.SettingsPath = dir.File("absent.ini");
        LoadSettings(ctx);
    }

    // Half a second of silence, two seconds of a full-scale 1000 Hz tone (14.17 dB too loud),
    // half a second of silence; an MP3 or a FLAC file of it made by the real lame or sox.
    std::string MakeSource(const std::string& name, int32_t rate = 44100)
    {
        const test::WavLayout layout{.sampleRate = rate, .before = {}, .after = {}};
        const auto edge = test::Silence(static_cast<size_t>(rate / 2));
        const auto tone = test::Sine(1000, 32767, rate, static_cast<size_t>(2 * rate));
        const bool wav = name.ends_with(".wav"), mp3 = name.ends_with(".mp3");
        const std::string made = wav ? dir.File(name) : scratch.File("tone.wav");
        test::WriteAllBytes(made, test::BuildWav(layout, test::Concat(test::Concat(edge, tone), edge)));
        EXPECT_TRUE(wav || test::RunCaptured(mp3 ? "lame" : "sox", {mp3 ? "--quiet" : "-q", made, dir.File(name)}).exitCode == 0);
        return dir.File(name);
    }

    std::map<std::string, std::vector<uint8_t>> Contents() const
    {
        std::map<std::string, std::vector<uint8_t>> files;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            files[entry.path().filename().string()] = test::ReadAllBytes(entry.path().string());
        return files;
    }
    bool Logged(const std::string& line) const { return std::ranges::count(host.lines, line) > 0; }

    test::RecordingHost host;
    Context ctx;
    test::TempDir dir;
    test::TempDir scratch;
};

// Asks for a stop when a line starting with `at` is logged, as a user watching the log would.
struct StopAtLine : ForwardingHost {
    StopAtLine(Host& inner, std::string at, StopRequest& stop) : ForwardingHost(inner), at(std::move(at)), stop(stop) {}
    void LogLine(const std::string& line) override
    {
        ForwardingHost::LogLine(line);
        if (!at.empty() && line.starts_with(at)) stop.Request();
    }
    std::string at;
    StopRequest& stop;
};

struct StepCase {
    const char* name;
    std::string source;
    std::array<bool, 4> steps;  // analyse, amplify, trim, encode
    Lines log;                  // found in this order
    std::set<std::string> after;
    // When set, a stop is asked for at the first line of `log`, with a second source beside the
    // first, in this many jobs.
    int stopJobs = 0;
};

class Steps : public RunBatchTest, public testing::WithParamInterface<StepCase> {};

// The steps run in turn and write only the output. A stop in the middle of a step (Ctrl+C, the
// progress window closed) ends the file there as "stopped": nothing is delivered, no work file is
// left (not even the decoded WAV), and the report and the summary say so. With one job the second
// file is never taken; two jobs take both before either goes on, each stopping at its own line.
TEST_P(Steps, RunInTurnAndWriteOnlyTheOutputOrStopAndLeaveNothing)
{
    const StepCase& row = GetParam();
    const bool stop = row.stopJobs > 0;
    const int jobs = ctx.settings.Jobs = std::max(row.stopJobs, 1);
    std::vector<RunItem> items{{MakeSource(row.source), "", false}};
    if (stop) items.push_back({MakeSource("2" + row.source), "", false});
    const auto before = Contents();
    std::tie(ctx.settings.Analyze, ctx.settings.Amplify, ctx.settings.Trim, ctx.settings.Encode) =
        std::tuple_cat(row.steps);
    ctx.request.ReportPath = scratch.File("r.jsonl");
    const RunFrontEnd frontEnd{.Summary = true};
    std::latch everyJobTookItsFile(jobs);
    EXPECT_EQ(RunFiles(ctx, items, host, frontEnd, [&](Context& file) {
        everyJobTookItsFile.arrive_and_wait();
        StopAtLine watching(file.host, stop ? row.log[0] : "", *file.stop);
        Context watched(file, watching);
        return ProcessFile(watched);
    }).Succeeded(), !stop);
    // The report's status of each source: one job never starts the second file.
    Lines reported;
    std::istringstream report(test::ReadText(scratch.File("r.jsonl")));
    for (std::string row; std::getline(report, row);) reported.push_back(nlohmann::json::parse(row)["status"]);
    EXPECT_EQ(reported, (stop ? Lines{"stopped", jobs == 1 ? "not started" : "stopped"} : Lines{"done"}));
    auto at = host.lines.begin();
    for (const std::string& line : row.log) {
        at = std::find(at, host.lines.end(), line);
        ASSERT_NE(at, host.lines.end()) << "[" << line << "] missing or out of order";
    }
    const auto after = std::views::keys(Contents());
    EXPECT_EQ(std::set<std::string>(after.begin(), after.end()), row.after);
    for (const auto& [name, bytes] : before) EXPECT_EQ(test::ReadAllBytes(dir.File(name)), bytes);
    if (!stop) return;
    const std::string summary = "Files done: 0, skipped: 0, failed: 0, stopped: " + std::to_string(jobs) + ";";
    EXPECT_EQ((Lines{host.lines.end()[-2].substr(0, summary.size()), host.lines.back()}), (Lines{summary, "Interrupted by user"}));
}

const std::array<bool, 4> kAllSteps{1, 1, 1, 1};
const std::set<std::string> kTwoSongs{"song.wav", "2song.wav"};
INSTANTIATE_TEST_SUITE_P(Rows, Steps, testing::Values(
    StepCase{"Mp3TrimmedOnlyIsDecodedFirst", "song.mp3", {1, 0, 1, 1},
             {"Decoding...", "Decoded OK", "Trimming...", "Trimmed OK", "Encoded OK"}, {"song.mp3", "_song.mp3"}},
    StepCase{"StopInAnalysis", "song.wav", kAllSteps, {"Analyzing...", "Could not analyze"}, kTwoSongs, 1},
    StepCase{"StopInAnalysisTwoJobs", "song.wav", kAllSteps, {"Analyzing...", "Could not analyze"}, kTwoSongs, 2},
    StepCase{"StopInAmplify", "song.wav", kAllSteps, {"Leveling with: -14.17 dB...", "Could not level"}, kTwoSongs, 1},
    StepCase{"StopInAmplifyTwoJobs", "song.wav", kAllSteps, {"Leveling with: -14.17 dB...", "Could not level"}, kTwoSongs, 2},
    StepCase{"StopInTrim", "song.wav", kAllSteps, {"Trimming...", "Could not trim"}, kTwoSongs, 1},
    StepCase{"StopInTrimTwoJobs", "song.wav", kAllSteps, {"Trimming...", "Could not trim"}, kTwoSongs, 2},
    StepCase{"StopInEncode", "song.wav", kAllSteps, {"Encoding...", "Could not encode"}, kTwoSongs, 1},
    StepCase{"StopInEncodeTwoJobs", "song.wav", kAllSteps, {"Encoding...", "Could not encode"}, kTwoSongs, 2},
    StepCase{"StopInDecode", "song.mp3", kAllSteps, {"Decoding...", "Could not decode"}, {"song.mp3", "2song.mp3"}, 1},
    StepCase{"StopInConversionTwoJobs", "song.flac", kAllSteps, {"Converting...", "Could not convert"}, {"song.flac", "2song.flac"}, 2}),
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
    ParsedCommandLine commandLine;
    commandLine.Sources = {MakeSource("odd.wav", 44000)};
    EXPECT_EQ(RunBatch(ctx, commandLine), kBatchFailed);
    EXPECT_TRUE(Logged("No filter for this frequency") && Logged("Leveling with: 0.00 dB...") && !Logged("Could not analyze"));
    EXPECT_EQ(recorder.RecordedRuns(), (std::vector<Lines>{{"-h", dir.File("VRK.tmp"), dir.File("mp3.tmp")}}));
    EXPECT_EQ(host.captions.back(), "Varnook Progress");
}

// What the window's list says of a failure where the step's words would mislead: a source gone
// since it was listed, an output blocked by a folder of its name. A file the step's words
// describe well keeps them alone.
TEST_F(RunBatchTest, FailuresThatTheStepsWordsHideAreSaidPlainly)
{
    ctx.settings.Trim = false;
    const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
        {"gone.wav", "", "Not a valid wav file!", "File not found"}, {"gone.mp3", "", "Could not decode", "File not found"},
        {"bad.wav", "", "Not a valid wav file!", ""}, {MakeSource("song.wav"), "song.mp3", "75: Path/File access error",
         "Could not write " + dir.File("song.mp3") + ": a folder of that name is in the way"}};
    test::WriteText(dir.File("bad.wav"), "no RIFF here");
    for (const auto& [source, inTheWay, reason, plain] : rows) {
        if (!inTheWay.empty()) fs::create_directory(dir.File(inTheWay));
        Context file(ctx, host);
        file.request.SourcePath = source.starts_with("/") ? source : dir.File(source);
        const FileResult result = ProcessFile(file);
        EXPECT_EQ(result.Reason + "|" + result.PlainReason, reason + "|" + plain) << source;
    }
}

}  // namespace
}  // namespace varnook
