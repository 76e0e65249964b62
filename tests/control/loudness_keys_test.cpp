// The loudness keys from the settings file and the command line, and no clash with "/tr".
#include <gtest/gtest.h>

#include "control/command_line.h"
#include "control/context.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook::test {
namespace {

TEST(LoudnessKeys, SettingsFileThenCommandLine)
{
    using Args = std::vector<std::string>;
    const struct {
        std::string ini;
        Args args;
        LoudnessMode mode;
        double target;
        std::optional<double> ceiling;
    } rows[] = {{"", {}, LoudnessMode::Rg1, -18, std::nullopt},
                {"", {"/MODE", "R128", "/target-16", "/tp", "-1,5", "/tr0"}, LoudnessMode::R128, -16, -1.5},
                {"", {"/mode", "ebu", "/tp", "x", "/target"}, LoudnessMode::Rg1, -18, std::nullopt},
                {"Loudness=R128\nTarget=-23\nTruePeak=-2\n", {}, LoudnessMode::R128, -23, -2},
                {"Loudness=r128\nTarget=x\nTruePeak=\n", {"/mode", "rg1"}, LoudnessMode::Rg1, -18, std::nullopt}};
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
        EXPECT_EQ(ctx.settings.Trim, row.args.size() < 6) << name;  // only the second row has "/tr0"
    }
}

}  // namespace
}  // namespace varnook::test
