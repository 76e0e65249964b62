#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/context.h"
#include "cli/start_up.h"
#include "settings/run_settings_file.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

using Words = std::vector<std::string>;

// Settings as a load without a file leaves them, so every change a key makes shows.
class CommandLineTest : public ::testing::Test {
protected:
    CommandLineTest()
    {
        ctx.settings.SettingsPath = dir.File("varnook.ini");
        LoadSettings(ctx);
    }
    ParsedCommandLine Parse(const Words& args) { return ParseCommandLine(ctx, args); }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx{host};
};

struct ValueCase {
    const char* name;
    Words args;
    double RunSettings::*field;  // null: only the usage error is checked
    double expected;
    std::string error;           // a part of the usage error; empty when the value is taken
};

class CommandLineValue : public CommandLineTest, public ::testing::WithParamInterface<ValueCase> {};

// Numbers read with either separator, whatever the locale's; a value outside what its key
// takes is a usage error naming the key and its range, and leaves the loaded value.
TEST_P(CommandLineValue, IsTakenOrNamedInTheUsageError)
{
    const ValueCase& row = GetParam();
    const RunSettings loaded = ctx.settings;
    for (const char sep : {'.', ','}) {
        SCOPED_TRACE(sep);
        ctx.settings = loaded;
        ctx.decimalSeparator = sep;
        const ParsedCommandLine parsed = Parse(row.args);
        EXPECT_FALSE(parsed.ShowHelp);
        EXPECT_EQ(parsed.UsageError.empty(), row.error.empty()) << parsed.UsageError;
        EXPECT_NE(parsed.UsageError.find(row.error), std::string::npos) << parsed.UsageError;
        if (row.field) {
            EXPECT_EQ(ctx.settings.*row.field, row.expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, CommandLineValue, ::testing::Values(
    ValueCase{"CommaNumber", {"/nl", "2,5"}, &RunSettings::NewLevel, 2.5, ""},
    ValueCase{"ValueJoinedToKey", {"/NL-1.5"}, &RunSettings::NewLevel, -1.5, ""},
    ValueCase{"NumberGrouped", {"/nl", "1.000,5"}, &RunSettings::NewLevel, 0, "/nl takes a number from -200 to 200"},
    ValueCase{"NumberOfTwoWords", {"/nl", "1", "2"}, &RunSettings::NewLevel, 0, "not \"1 2\""},
    ValueCase{"Difference", {"/rd3"}, &RunSettings::RmsDiff, 3, ""},
    ValueCase{"DifferenceNegative", {"/rd-3"}, &RunSettings::RmsDiff, 30, "/rd takes a number from 0"},
    ValueCase{"PercentileZero", {"/rp0"}, &RunSettings::RmsPercent, 0.95, "/rp takes a number above 0 up to 1"},
    ValueCase{"PercentileAboveOne", {"/rp", "1,01"}, &RunSettings::RmsPercent, 0.95, "/rp"},
    ValueCase{"PercentileOne", {"/rp1"}, &RunSettings::RmsPercent, 1, ""},
    ValueCase{"LeadOfAnHour", {"/li", "3600"}, nullptr, 0, ""},
    ValueCase{"LeadBeyondAnHour", {"/lo", "3600.5"}, nullptr, 0, "/lo takes a number up to 3600"},
    ValueCase{"ThresholdBeyond200dB", {"/ci", "-200,5"}, nullptr, 0, "/ci"},
    ValueCase{"Level200dB", {"/pr", "200", "/fo", "-200"}, &RunSettings::PinkRef, 200, ""},
    ValueCase{"SwitchWithTextAfterTheKey", {"/encode", "0"}, nullptr, 0, "/enc takes 0 or 1, not \"ode\""},
    ValueCase{"SwitchYes", {"/TR", "yes"}, nullptr, 0, "/tr takes 0 or 1"},
    ValueCase{"HelpAsEncoderArgument", {"/lame", "--help"}, nullptr, 0, ""}), test::RowName());

TEST_F(CommandLineTest, ArraySwitchAndTextKeysReachTheirFields)
{
    Parse({"/li", "1", "/lo2", "/ci", "41", "/fi", "21", "/fo", "22", "/co", "42"});
    EXPECT_EQ(ctx.settings.Lead, (std::array<double, 2>{1, 2}));
    EXPECT_EQ(ctx.settings.TrimLevel, (std::array<double, 4>{41, 21, 22, 42}));

    ctx.settings.Analyze = false;
    Parse({"/ana1", "/lev", "0", "/TR", "yes", "/enc=0"});  // "yes" and "=0" are no switch values
    EXPECT_EQ((std::array{ctx.settings.Analyze, ctx.settings.Amplify, ctx.settings.Trim, ctx.settings.Encode}),
              (std::array{true, false, true, true}));

    Parse({"/lame", "--tt", "\"A title\"", "/dest", "/srv/out/\".mp3\""});
    EXPECT_EQ(ctx.settings.Arguments, "--tt \"A title\"");  // kept as typed
    EXPECT_EQ(ctx.request.DestPath, "/srv/out/.mp3");
    // "/tr/ash" starts like a key but holds a second "/": a word, so a path.
    Parse({"/lame-V2", "/dest", "/tr/ash", "/lev/x"});
    EXPECT_EQ(ctx.settings.Arguments, "-V2");
    EXPECT_EQ(ctx.request.DestPath, "/tr/ash /lev/x");
}

TEST_F(CommandLineTest, SourcesBecomeAbsoluteAndMissingOnesAreListed)
{
    const std::string song = dir.File("take one.wav");
    test::WriteText(song, "RIFF");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const ParsedCommandLine parsed = Parse({"gone.wav", "sub/../take one.wav", "/ana0"});
    std::filesystem::current_path(before);
    EXPECT_EQ(parsed.Sources, (Words{dir.File("gone.wav"), song}));
    EXPECT_EQ(parsed.MissingSources, Words{dir.File("gone.wav")});
    EXPECT_EQ(ctx.request.SourcePath, song);
    Parse({"/"});  // holds no key: the root folder
    EXPECT_EQ(ctx.request.SourcePath, "/");
}

// None of these names a source or a usable value: window mode with the settings as loaded.
TEST_F(CommandLineTest, AbsurdCommandLinesChangeNothing)
{
    for (const Words& args : {Words{}, Words{""}, Words{"   ", "\t"}, Words{"/xyz", "/nl=3"},
                              Words{"/ana", "/nl", "/lame", "/dest", "/li"},
                              Words{"ana0", "-nl", "3"}, Words{"/nl", " ", "/lame", "  "},
                              Words{"/ana", "\" 0 \"", "/nl", "\"1,5\""}}) {
        ctx.request.SourcePath = "stale";
        Parse(args);
        EXPECT_EQ(ctx.request.SourcePath + ctx.request.DestPath, "");
        EXPECT_EQ(ctx.settings.Arguments, "-h");
        EXPECT_TRUE(ctx.settings.Analyze && ctx.settings.NewLevel == 0);
    }
    EXPECT_FALSE(std::filesystem::exists(ctx.settings.SettingsPath));
}

TEST(StartUp, UsageNamesEveryKey)
{
    for (const char* key : {"/dest", "/ana", "/lev", "/tr", "/enc", "/nl", "/li", "/lo", "/ci",
                            "/co", "/fi", "/fo", "/lame", "/pr", "/rp", "/rd", "VARNOOK_INI"})
        EXPECT_NE(UsageText().find(std::string(key) + " "), std::string::npos) << key;
}

}  // namespace
}  // namespace varnook
