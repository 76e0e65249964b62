// A stop asked for in the middle of a step (Ctrl+C, the progress window closed) ends the file
// there, not at its end, and leaves no work file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "base/context.h"
#include "control/pipeline.h"
#include "settings/run_settings_file.h"
#include "support/captured_run.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

// Asks for the stop when the analysis starts, as a user watching the log would.
class StopAtAnalysis : public test::RecordingHost {
public:
    void LogLine(const std::string& line) override
    {
        RecordingHost::LogLine(line);
        if (line == "Analyzing...") stop->Request();
    }
    std::shared_ptr<StopRequest> stop;
};

TEST(Stop, DuringTheAnalysisEndsTheFileThereAndLeavesOnlyTheSource)
{
    for (const std::string name : {"song.wav", "song.mp3"}) {  // the MP3's decoded WAV is a work file
        test::TempDir dir;
        test::WavLayout stereo;
        stereo.channels = 2;
        const std::string tone = dir.File("tone.wav");
        test::WriteAllBytes(tone, test::BuildWav(stereo, test::Sine(440, 8000, 44100, 88200, 2)));
        if (name.ends_with(".mp3")) {
            ASSERT_EQ(test::RunCaptured("lame", {"--quiet", tone, dir.File(name)}).exitCode, 0);
            std::filesystem::remove(tone);
        } else {
            std::filesystem::rename(tone, dir.File(name));
        }
        StopAtAnalysis host;
        Context ctx{host};
        host.stop = ctx.stop;
        SetDefaults(ctx.settings);
        ctx.settings.Analyze = ctx.settings.Amplify = ctx.settings.Trim = true;
        ctx.request.SourcePath = dir.File(name);

        ProcessFile(ctx);

        for (const std::string& line : host.lines)
            EXPECT_FALSE(line.starts_with("Recommended gain") || line.starts_with("Leveling")) << name << ": " << line;
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.insert(entry.path().filename());
        EXPECT_EQ(names, std::set<std::string>{name});
    }
}

}  // namespace
}  // namespace varnook
