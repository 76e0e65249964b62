#include "control/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "control/context.h"
#include "control/run_settings.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

// Settings as a load without a file leaves them, so every change a key makes shows.
class CommandLineTest : public ::testing::Test {
protected:
    CommandLineTest()
    {
        ctx.settings.SettingsPath = dir.File("varnook.ini");
        LoadSettings(ctx);
        loaded = ctx.settings;
    }
    ParsedCommandLine Parse(const std::vector<std::string>& args) { return ParseCommandLine(ctx, args); }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx{host};
    RunSettings loaded;
};

struct NumberCase {
    const char* name;
    std::vector<std::string> args;
    double RunSettings::*field;
    double expected;
};

class NumberKeyTest : public CommandLineTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberKeyTest, SetsInEitherLocale)
{
    for (const char sep : {'.', ','}) {
        ctx.settings = loaded;
        ctx.decimalSeparator = sep;
        Parse(GetParam().args);
        EXPECT_EQ(ctx.settings.*GetParam().field, GetParam().expected) << "separator " << sep;
    }
}

INSTANTIATE_TEST_SUITE_P(CommandLine, NumberKeyTest, ::testing::Values(
    NumberCase{"Comma", {"/nl", "2,5"}, &RunSettings::NewLevel, 2.5},
    NumberCase{"Point", {"/nl", "2.5"}, &RunSettings::NewLevel, 2.5},
    NumberCase{"Attached", {"/nl-1,5"}, &RunSettings::NewLevel, -1.5},
    NumberCase{"UpperCase", {"/NL", "3"}, &RunSettings::NewLevel, 3},
    NumberCase{"TwoSeparatorsChangeNothing", {"/nl", "1.000,5"}, &RunSettings::NewLevel, 0},
    NumberCase{"WordChangesNothing", {"/nl", "loud"}, &RunSettings::NewLevel, 0},
    NumberCase{"TwoWordsAreNoNumber", {"/nl", "1", "2"}, &RunSettings::NewLevel, 0},
    NumberCase{"NoRangeCheck", {"/rp", "5"}, &RunSettings::RmsPercent, 5},
    NumberCase{"PinkRef", {"/pr70"}, &RunSettings::PinkRef, 70},
    NumberCase{"RmsDiff", {"/rd", "-3"}, &RunSettings::RmsDiff, -3}), test::RowName());

TEST_F(CommandLineTest, ArrayKeysReachTheirEntries)
{
    Parse({"/li", "1", "/lo2", "/ci", "41", "/fi", "21", "/fo", "22", "/co", "42"});
    EXPECT_EQ(ctx.settings.Lead, (std::array<double, 2>{1, 2}));
    EXPECT_EQ(ctx.settings.TrimLevel, (std::array<double, 4>{41, 21, 22, 42}));
}

TEST_F(CommandLineTest, SwitchesTakeOnlyOneAndZero)
{
    ctx.settings.Analyze = false;
    Parse({"/ana1", "/lev", "0", "/TR", "0", "/enc=0"});
    EXPECT_TRUE(ctx.settings.Analyze);
    EXPECT_FALSE(ctx.settings.Amplify);
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_TRUE(ctx.settings.Encode);  // "=0" is no switch value
    Parse({"/ana", "yes", "/lev", "/tr", "true"});
    EXPECT_TRUE(ctx.settings.Analyze);
    EXPECT_FALSE(ctx.settings.Amplify);  // "/lev" without a value does nothing
    EXPECT_FALSE(ctx.settings.Trim);
}

TEST_F(CommandLineTest, TextKeysTakeTheFollowingWords)
{
    Parse({"/lame", "--preset", "standard", "/dest", "/srv/out/\".mp3\""});
    EXPECT_EQ(ctx.settings.Arguments, "--preset standard");
    EXPECT_EQ(ctx.request.DestPath, "/srv/out/.mp3");
    Parse({"/lame", "--tt", "\"A title\"", "/ana1"});
    EXPECT_EQ(ctx.settings.Arguments, "--tt \"A title\"");  // kept as typed
    Parse({"/lame-V2", "ignored"});
    EXPECT_EQ(ctx.settings.Arguments, "-V2");
    // "/tr/ash" starts like a key but holds a second "/": a word, so a path.
    Parse({"/dest", "/tr/ash", "/lev/x"});
    EXPECT_EQ(ctx.request.DestPath, "/tr/ash /lev/x");
    EXPECT_TRUE(ctx.settings.Trim && ctx.settings.Amplify);
}

TEST_F(CommandLineTest, SourcesBecomeAbsoluteAndMissingOnesAreListed)
{
    const std::string song = dir.File("take one.wav");
    test::WriteText(song, "RIFF");
    const std::string missing = dir.File("gone.wav");
    ParsedCommandLine parsed = Parse({missing, dir.File("sub/../take one.wav"), "/ana0"});
    EXPECT_EQ(parsed.Sources, (std::vector<std::string>{missing, song}));
    EXPECT_EQ(parsed.MissingSources, std::vector<std::string>{missing});
    EXPECT_EQ(ctx.request.SourcePath, song);
    EXPECT_FALSE(ctx.settings.Analyze);

    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    Parse({"./take one.wav"});
    fs::current_path(before);
    EXPECT_EQ(ctx.request.SourcePath, song);

    Parse({dir.Path().string() + "/"});  // a folder is an existing source too
    EXPECT_EQ(ctx.request.SourcePath, dir.Path().string() + "/");
    Parse({"/"});  // holds no key: the root folder
    EXPECT_EQ(ctx.request.SourcePath, "/");
}

TEST_F(CommandLineTest, HelpAndVersionAnywhereAndNeverPartOfAValue)
{
    const ParsedCommandLine help = Parse({"/nl", "1", "--help"});
    EXPECT_TRUE(help.ShowHelp && !help.ShowVersion);
    EXPECT_EQ(ctx.settings.NewLevel, 1);
    EXPECT_TRUE(Parse({"--version"}).ShowVersion);
}

struct AbsurdCase {
    const char* name;
    std::vector<std::string> args;
};

class AbsurdCommandLineTest : public CommandLineTest, public ::testing::WithParamInterface<AbsurdCase> {};

// None of these names a source or a usable value: window mode with the settings as loaded.
TEST_P(AbsurdCommandLineTest, ChangesNothing)
{
    ctx.request.SourcePath = "stale";
    Parse(GetParam().args);
    EXPECT_TRUE(ctx.request.SourcePath.empty());
    EXPECT_TRUE(ctx.request.DestPath.empty());
    EXPECT_TRUE(ctx.settings.Analyze && ctx.settings.Trim);
    EXPECT_EQ(ctx.settings.NewLevel, loaded.NewLevel);
    EXPECT_EQ(ctx.settings.Arguments, loaded.Arguments);
    EXPECT_EQ(ctx.settings.Lead, loaded.Lead);
    EXPECT_FALSE(fs::exists(ctx.settings.SettingsPath));
}

INSTANTIATE_TEST_SUITE_P(CommandLine, AbsurdCommandLineTest, ::testing::Values(
    AbsurdCase{"Empty", {}}, AbsurdCase{"EmptyWord", {""}}, AbsurdCase{"Blanks", {"   ", "\t"}},
    AbsurdCase{"KeysWithoutValues", {"/ana", "/nl", "/lame", "/dest", "/li"}},
    AbsurdCase{"BlankValues", {"/nl", " ", "/lame", "  "}},
    AbsurdCase{"UnknownKeys", {"/xyz", "/ANALYSE", "/nl=3"}},
    AbsurdCase{"QuotedBlanks", {"/ana", "\" 0 \"", "/nl", "\"1,5\""}},
    AbsurdCase{"KeyShapedWords", {"ana0", "-nl", "3"}}), test::RowName());

TEST_F(CommandLineTest, ThousandArgumentsParse)
{
    std::vector<std::string> args;
    for (int i = 0; i < 1000; ++i) args.push_back(i % 2 ? "/nl" : "word" + std::to_string(i));
    args.push_back("/lame");
    args.insert(args.end(), 1000, "-x");
    const ParsedCommandLine parsed = Parse(args);
    EXPECT_EQ(parsed.Sources.size(), 1u);  // only "word0" comes before the first key
    EXPECT_EQ(parsed.MissingSources, parsed.Sources);
    EXPECT_EQ(ctx.settings.NewLevel, 0);   // every "/nl" got a word or nothing, never a number
    EXPECT_EQ(ctx.settings.Arguments.size(), 1000u * 3 - 1);
}

}  // namespace
}  // namespace varnook
