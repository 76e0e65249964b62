// The loudness keys on the command line and in the settings file: their values, and no clash
// with the older keys that share a first letter ("/tr").
#include <gtest/gtest.h>

#include "control/command_line.h"
#include "control/context.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook::test {
namespace {

TEST(LoudnessKeys, CommandLineAndSettingsFile)
{
    const struct {
        std::vector<std::string> args;
        std::string ini;
        LoudnessMode mode;
        double target;
        std::optional<double> ceiling;
        bool trim;
    } rows[] = {
        {{}, "", LoudnessMode::Rg1, -18, std::nullopt, true},
        {{"/MODE", "R128", "/target-16", "/tp", "-1,5", "/tr0"}, "", LoudnessMode::R128, -16, -1.5, false},
        {{"/mode", "ebu", "/tp", "x", "/target"}, "", LoudnessMode::Rg1, -18, std::nullopt, true},
        {{}, "Loudness=R128\nTarget=-23\nTruePeak=-2\n", LoudnessMode::R128, -23, -2, true},
        {{"/mode", "rg1"}, "Loudness=r128\nTarget=x\nTruePeak=\n", LoudnessMode::Rg1, -18, std::nullopt, true},
    };
    for (const auto& row : rows) {
        TempDir dir;
        RecordingHost host;
        Context ctx{host};
        ctx.settings.SettingsPath = dir.File("varnook.ini");
        WriteText(ctx.settings.SettingsPath, "[Values]\n" + row.ini);
        LoadSettings(ctx);
        ParseCommandLine(ctx, row.args);
        const std::string name = row.ini + (row.args.empty() ? "" : row.args[0]);
        EXPECT_EQ(ctx.settings.Loudness, row.mode) << name;
        EXPECT_EQ(ctx.settings.Target, row.target) << name;
        EXPECT_EQ(ctx.settings.TruePeak, row.ceiling) << name;
        EXPECT_EQ(ctx.settings.Trim, row.trim) << name;
    }
}

}  // namespace
}  // namespace varnook::test
