#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <regex>

#include "base/context.h"
#include "cli/start_up.h"
#include "io/numbers.h"
#include "settings/key_table.h"
#include "settings/run_settings_file.h"
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

// Numbers read with either separator, whatever the locale's; a value a key does not take is a
// usage error naming the key, what it takes and the value, and leaves the loaded value.
TEST_F(CommandLineTest, ValuesAreTakenOrNamedInTheUsageError)
{
    const struct { Words args; double newLevel; std::string error; } rows[] = {
        {{"/nl", "2,5"}, 2.5, ""}, {{"/NL-1.5"}, -1.5, ""}, {{"/lame", "--help"}, 0, ""},
        {{"/nl", "1.000,5"}, 0, "/nl takes a number from -200 to 200, not \"1.000,5\""},
        {{"/nl", "1", "2"}, 0, "/nl takes a number from -200 to 200, not \"1 2\""},
        {{"/lo", "3600.5"}, 0, "/lo takes a number up to 3600, not \"3600.5\""},
        {{"/encode", "0"}, 0, "/enc takes 0 or 1, not \"ode\""}};
    for (const char separator : {'.', ','}) {
        for (const auto& row : rows) {
            ctx.settings.NewLevel = 0;
            ctx.decimalSeparator = separator;
            const ParsedCommandLine parsed = Parse(row.args);
            EXPECT_FALSE(parsed.ShowHelp);
            EXPECT_EQ(parsed.UsageError, row.error) << separator;
            EXPECT_EQ(ctx.settings.NewLevel, row.newLevel) << row.args[0] << " " << separator;
        }
    }
}

TEST_F(CommandLineTest, SwitchAndTextKeysReachTheirFields)
{
    ctx.settings.Analyze = false;
    Parse({"/ana1", "/lev", "0", "/TR", "yes", "/enc=0"});  // "yes" and "=0" are no switch values
    EXPECT_EQ((std::array{ctx.settings.Analyze, ctx.settings.Amplify, ctx.settings.Trim, ctx.settings.Encode}),
              (std::array{true, false, true, true}));

    // "/tr/ash" starts like a key but holds a second "/": a word, so a path.
    Parse({"/lame-V2", "/dest", "/tr/ash", "/lev/x"});
    EXPECT_EQ(std::tuple(ctx.settings.Arguments, ctx.request.DestPath), std::tuple("-V2", "/tr/ash /lev/x"));
}

TEST_F(CommandLineTest, SourcesBecomeAbsoluteAndMissingOnesAreListed)
{
    const std::string song = dir.File("take one.wav");
    test::WriteText(song, "RIFF");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const ParsedCommandLine parsed = Parse({"gone.wav", "sub/../take one.wav", "/ana0"});
    std::filesystem::current_path(before);
    EXPECT_EQ(std::tuple(parsed.Sources, parsed.MissingSources, ctx.request.SourcePath),
              std::tuple(Words{dir.File("gone.wav"), song}, Words{dir.File("gone.wav")}, song));
    Parse({"/"});  // holds no key: the root folder
    EXPECT_EQ(ctx.request.SourcePath, "/");
    // The desktop's "Open With": the same sources, for the window's list; after a text key the
    // option is that key's word.
    EXPECT_TRUE(Parse({"--open", song}).OpenInWindow && Parse({song, "--open"}).Sources == Words{song});
    EXPECT_FALSE(Parse({song, "/lame", "--open"}).OpenInWindow);
}

// None of these names a source or a usable value: window mode with the settings as loaded.
TEST_F(CommandLineTest, AbsurdCommandLinesChangeNothing)
{
    for (const Words& args : {Words{}, Words{""}, Words{"   ", "\t"}, Words{"/xyz", "/nl=3"}, Words{"ana0", "-nl", "3"},
                              Words{"/ana", "/nl", "/lame", "/dest", "/li"}, Words{"/nl", " ", "/lame", "  "},
                              Words{"/ana", "\" 0 \"", "/nl", "\"1,5\""}}) {
        ctx.request.SourcePath = "stale";
        Parse(args);
        EXPECT_EQ(std::tuple(ctx.request.SourcePath + ctx.request.DestPath, ctx.settings.Arguments, ctx.settings.Analyze,
                             ctx.settings.NewLevel), std::tuple("", "-h", true, 0.0)) << testing::PrintToString(args);
    }
    EXPECT_FALSE(std::filesystem::exists(ctx.settings.SettingsPath));
}

// A row of the key table through every reader: --help and the manual page name its keys; a value
// it takes reaches its field from the command line and from the settings file, while one it does
// not take is a usage error on the command line and gives the default in the file (with a log
// line when it is a number out of range); a missing settings key gives the default.
class KeyRowTest : public CommandLineTest, public ::testing::WithParamInterface<size_t> {
protected:
    struct Value { std::string typed, taken; bool outOfRange = false; };  // taken empty: refused
    // The range's top and what lies beyond its ends; a choice's last name, capitalised, and its
    // first cut short.
    static std::vector<Value> Values(const KeyRow& row)
    {
        const auto number = [](double v) { return FormatGeneral(v, '.'); };
        const NumberRange r = row.Range;
        switch (row.Kind) {
        case KeyKind::Switch: return {{"0", "0"}, {"1", "1"}, {"yes", ""}, {"", ""}};
        case KeyKind::Text: return {{"a \"b\" c", row.Unquoted ? "a b c" : "a \"b\" c"}};
        case KeyKind::Choice: {  // the first name is the default, which the file test sets last
            const std::string first(row.Choices.front()), last(row.Choices.back());
            return {{static_cast<char>(last[0] - 'a' + 'A') + last.substr(1), last}, {first.substr(1), ""}};
        }
        case KeyKind::Number:
            std::vector<Value> values{{number(r.High), number(r.High)}, {"1x", ""}, {number(r.High + 1), "", true}};
            if (r.Low != std::numeric_limits<double>::lowest())
                values.push_back({number(r.LowIncluded ? r.Low - 1 : r.Low), "", true});
            return values;
        }
        return {};
    }
    std::string Field(const KeyRow& row) { return FieldText(row, '.', ctx.settings, ctx.request); }
};

TEST_P(KeyRowTest, IsReadByEveryReader)
{
    const KeyRow& row = KeyTable()[GetParam()];
    const auto field = std::visit([](auto* f) -> const void* { return f; }, row.Field(ctx.settings, ctx.request));
    EXPECT_EQ(RowOfField(ctx.settings, ctx.request, field), &row) << "a field set by two rows";
    const std::string man = test::ReadText(std::string(std::getenv("VARNOOK_SOURCE_DIR")) + "/data/varnook.1");
    // A whole word: "/tp" must not be found inside "/tpstandard".
    const auto documented = [&man](const std::string& name) {
        return std::regex_search(man, std::regex("(^|[^A-Za-z0-9])" + name + "($|[^A-Za-z0-9])"));
    };
    if (!row.CommandKey.empty()) {
        const std::string key = "/" + std::string(row.CommandKey), help = UsageText();
        EXPECT_TRUE(documented(key)) << key << " in the manual page";
        const size_t at = help.find("\n  " + key + " ");
        ASSERT_NE(at, std::string::npos) << key << " in --help";
        const std::string lines = help.substr(at, help.find("\n  /", at + 1) - at);
        EXPECT_TRUE(row.Kind != KeyKind::Number || lines.find(RangeText(row.Range, '.')) != lines.npos) << lines;
        for (const Value& v : Values(row)) {
            const std::string before = Field(row), error = Parse({key, v.typed}).UsageError;
            if (v.typed.empty()) continue;  // a key without its value does nothing
            EXPECT_EQ(Field(row), v.taken.empty() ? before : v.taken) << key << " " << v.typed;
            const std::string refusal = key + " takes " + TakesText(row, '.') + ", not \"" + v.typed + "\"";
            EXPECT_EQ(error, v.taken.empty() ? refusal : "");
        }
    }
    if (row.SettingsKey.empty()) return;
    const std::string key(row.SettingsKey);
    EXPECT_TRUE(documented(key)) << key << " in the manual page";
    // Any text but "1" is a switch off.
    const std::string fallback = row.Kind == KeyKind::Switch ? "0" : std::string(row.Default);
    for (const Value& v : Values(row)) {
        test::WriteText(ctx.settings.SettingsPath, "[Values]\n" + key + "=" + v.typed + "\n");
        host.lines.clear();
        LoadSettings(ctx);
        EXPECT_EQ(Field(row), v.taken.empty() ? fallback : v.taken) << key << "=" << v.typed;
        const std::string said = key + "=" + v.typed + " in the settings file is out of range; the default " +
                                 (fallback.empty() ? "(none)" : fallback) + " is used";
        EXPECT_EQ(host.lines, v.outOfRange ? std::vector{said} : std::vector<std::string>{});
    }
    test::WriteText(ctx.settings.SettingsPath, "[Values]\n");
    LoadSettings(ctx);
    EXPECT_EQ(Field(row), row.Default);
}

INSTANTIATE_TEST_SUITE_P(KeyTable, KeyRowTest, ::testing::Range<size_t>(0, KeyTable().size()), [](const auto& info) {
    return std::string(KeyTable()[info.param].CommandKey) + std::string(KeyTable()[info.param].SettingsKey);
});

}  // namespace
}  // namespace varnook
