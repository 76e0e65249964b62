#include "settings/run_settings_file.h"

#include <gtest/gtest.h>

#include "base/context.h"
#include "io/numbers.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

class LoadSettingsTest : public ::testing::Test {
protected:
    LoadSettingsTest() { ctx.settings.SettingsPath = dir.File("varnook.ini"); }
    void Load(const std::string& lines)
    {
        test::WriteText(ctx.settings.SettingsPath, "[Values]\n" + lines);
        LoadSettings(ctx);
    }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx{host};
};

TEST_F(LoadSettingsTest, EveryKeyIsReadFromItsOwnNameAndArrayEntriesFallBackAlone)
{
    Load("Analyze=0\nLevel=0\nTrim=0\nEncode=0\n0ID3=0\n3ID3=0\n6ID3=0\nNewLevel=-3\n"
         "0Lead=1.5\n1Lead=x\n0Level=40\n1Level=21\n2Level=\n3Level=41\nArguments=\n"
         "PinkRef=80\nRmsPercent=0.5\nRmsDiff=12\n");
    const RunSettings& s = ctx.settings;
    EXPECT_FALSE(s.Analyze || s.Amplify || s.Trim || s.Encode);
    EXPECT_EQ(s.KeepTag, (std::array<bool, 7>{false, true, true, false, true, true, false}));
    EXPECT_EQ(s.NewLevel, -3);
    EXPECT_EQ(s.Lead, (std::array<double, 2>{1.5, 0.2}));
    EXPECT_EQ(s.TrimLevel, (std::array<double, 4>{40, 21, 24, 41}));
    EXPECT_EQ(s.Arguments, "");
    EXPECT_EQ((std::array{s.PinkRef, s.RmsPercent, s.RmsDiff}), (std::array{80.0, 0.5, 12.0}));
}

// Stored numbers read alike whichever separator they use, under either locale; a value out of
// range or malformed gives the default, and a switch is on only for "1" or when missing.
TEST_F(LoadSettingsTest, StoredValuesLoadAs)
{
    const struct {
        const char* line;
        double RunSettings::*field;  // null: the switch Trim, expected 1 or 0
        double expected;
    } rows[] = {{"RmsPercent=1.5", &RunSettings::RmsPercent, 0.95}, {"Trim=yes", nullptr, 0},
                {"RmsPercent=0", &RunSettings::RmsPercent, 0.95},   {"Trim=", nullptr, 0},
                {"NewLevel=-200,5", &RunSettings::NewLevel, 0},     {"Encode=0", nullptr, 1},
                {"RmsDiff=-6", &RunSettings::RmsDiff, 30},          {"PinkRef=6x", &RunSettings::PinkRef, 64.82},
                {"NewLevel=1.000,5", &RunSettings::NewLevel, 0},    {"NewLevel= -1.5 ", &RunSettings::NewLevel, -1.5}};
    for (const char* localeName : {"C", test::kCommaLocale}) {
        test::ScopedLocale locale(localeName);
        if (!locale.Active()) continue;
        ctx.decimalSeparator = FindDecimalSeparator();
        for (const auto& row : rows) {
            Load(std::string(row.line) + "\n");
            EXPECT_EQ(row.field ? ctx.settings.*row.field : ctx.settings.Trim, row.expected)
                << row.line << " in locale " << localeName;
        }
    }
}

TEST(SettingsFilePath, EnvironmentThenBesideTheProgramThenConfigFolder)
{
    test::TempDir dir;
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
    {
        test::ScopedEnv ini{"VARNOOK_INI", std::string("/somewhere/else.ini")};
        EXPECT_EQ(SettingsFilePath(dir.File("varnook")), "/somewhere/else.ini");
    }
    test::ScopedEnv ini{"VARNOOK_INI", std::nullopt};
    EXPECT_EQ(SettingsFilePath(dir.File("varnook")), dir.File("varnook.ini"));
    // A folder that does not exist is not writable, even for root.
    const std::string elsewhere = "/no/such/folder/varnook";
    EXPECT_EQ(SettingsFilePath(elsewhere), dir.File("config") + "/varnook/varnook.ini");
    test::ScopedEnv relative{"XDG_CONFIG_HOME", std::string("relative")};  // not absolute: ignored
    test::ScopedEnv home{"HOME", dir.File("home")};
    EXPECT_EQ(SettingsFilePath(elsewhere), dir.File("home") + "/.config/varnook/varnook.ini");
}

}  // namespace
}  // namespace varnook
