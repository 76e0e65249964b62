// A stop asked for in the middle of a step (Ctrl+C, the progress window closed) ends the file
// there, not at its end, and leaves no work file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "control/context.h"
#include "control/pipeline.h"
#include "support/captured_run.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

// Asks for the stop when the given line is logged, as a user watching the log would.
class StopAtLine : public test::RecordingHost {
public:
    void LogLine(const std::string& line) override
    {
        RecordingHost::LogLine(line);
        if (line == trigger) stop->Request();
    }
    std::string trigger;
    std::shared_ptr<StopRequest> stop;
};

struct StopCase {
    const char* name;
    const char* source;   // "song.wav" or "song.mp3"
    const char* trigger;  // the line at which the stop is asked for
};

void PrintTo(const StopCase& row, std::ostream* os)
{
    *os << row.name;
}

class StopInAStep : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopInAStep, EndsTheFileThereAndLeavesOnlyTheSource)
{
    test::TempDir dir;
    const std::string source = dir.File(GetParam().source);
    test::WavLayout stereo;
    stereo.channels = 2;
    test::WriteAllBytes(dir.File("tone.wav"), test::BuildWav(stereo, test::Sine(440, 8000, 44100, 88200, 2)));
    if (source.ends_with(".mp3")) {
        ASSERT_EQ(test::RunCaptured("lame", {"--quiet", dir.File("tone.wav"), source}).exitCode, 0);
        std::filesystem::remove(dir.File("tone.wav"));
    } else {
        std::filesystem::rename(dir.File("tone.wav"), source);
    }
    StopAtLine host;
    Context ctx{host};
    host.trigger = GetParam().trigger;
    host.stop = ctx.stop;
    SetDefaults(ctx.settings);
    ctx.settings.Analyze = ctx.settings.Amplify = ctx.settings.Trim = true;
    ctx.request.SourcePath = source;

    ProcessFile(ctx);

    for (const std::string& line : host.lines) {
        EXPECT_FALSE(line.starts_with("Recommended gain") || line.starts_with("Leveling"))
            << "the file went on after the stop: " << line;
    }
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.insert(entry.path().filename());
    EXPECT_EQ(names, std::set<std::string>{GetParam().source});
}

INSTANTIATE_TEST_SUITE_P(Steps, StopInAStep, ::testing::Values(
    StopCase{"WavDuringAnalysis", "song.wav", "Analyzing..."},
    StopCase{"DecodedMp3DuringAnalysis", "song.mp3", "Analyzing..."}), test::RowName());

}  // namespace
}  // namespace varnook
