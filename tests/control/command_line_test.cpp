#include "control/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/context.h"
#include "base/run_settings.h"
#include "settings/run_settings_file.h"
#include "control/start_up.h"
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
        loaded = ctx.settings;
    }
    ParsedCommandLine Parse(const Words& args) { return ParseCommandLine(ctx, args); }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx{host};
    RunSettings loaded;
};

TEST_F(CommandLineTest, NumberKeysReadEitherSeparatorAndRefuseEverythingElse)
{
    struct Row {
        Words args;
        double RunSettings::*field;
        double expected;
    };
    for (const Row& row : {Row{{"/nl", "2,5"}, &RunSettings::NewLevel, 2.5},
                           Row{{"/NL-1.5"}, &RunSettings::NewLevel, -1.5},
                           Row{{"/nl", "1.000,5"}, &RunSettings::NewLevel, 0},
                           Row{{"/nl", "1", "2"}, &RunSettings::NewLevel, 0},
                           Row{{"/rp", "5"}, &RunSettings::RmsPercent, 5},  // no range check
                           Row{{"/rd-3"}, &RunSettings::RmsDiff, -3}}) {
        for (const char sep : {'.', ','}) {
            ctx.settings = loaded;
            ctx.decimalSeparator = sep;
            Parse(row.args);
            EXPECT_EQ(ctx.settings.*row.field, row.expected) << row.args[0] << " with " << sep;
        }
    }
}

TEST_F(CommandLineTest, ArraySwitchAndTextKeysReachTheirFields)
{
    Parse({"/li", "1", "/lo2", "/ci", "41", "/fi", "21", "/fo", "22", "/co", "42"});
    EXPECT_EQ(ctx.settings.Lead, (std::array<double, 2>{1, 2}));
    EXPECT_EQ(ctx.settings.TrimLevel, (std::array<double, 4>{41, 21, 22, 42}));

    ctx.settings.Analyze = false;
    Parse({"/ana1", "/lev", "0", "/TR", "yes", "/enc=0"});  // "yes" and "=0" are no switch values
    EXPECT_EQ(Words({std::to_string(ctx.settings.Analyze), std::to_string(ctx.settings.Amplify),
                     std::to_string(ctx.settings.Trim), std::to_string(ctx.settings.Encode)}),
              Words({"1", "0", "1", "1"}));

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
    Words many;
    for (int i = 0; i < 1000; ++i) many.push_back(i % 2 ? "/nl" : "word" + std::to_string(i));
    many.push_back("/lame");
    many.insert(many.end(), 1000, "-x");
    EXPECT_EQ(Parse(many).Sources.size(), 1u);  // only "word0" comes before the first key
    EXPECT_EQ(ctx.settings.NewLevel, 0);  // every "/nl" got a word or nothing, never a number
    EXPECT_EQ(ctx.settings.Arguments.size(), 1000u * 3 - 1);
    EXPECT_FALSE(std::filesystem::exists(ctx.settings.SettingsPath));
}

// The comma locale reaching the parser is shown by the end-to-end leveling line under de_DE.
TEST(StartUp, UsageNamesEveryKey)
{
    for (const char* key : {"/dest", "/ana", "/lev", "/tr", "/enc", "/nl", "/li", "/lo", "/ci",
                            "/co", "/fi", "/fo", "/lame", "/pr", "/rp", "/rd", "VARNOOK_INI"})
        EXPECT_NE(UsageText().find(std::string(key) + " "), std::string::npos) << key;
}

}  // namespace
}  // namespace varnook
