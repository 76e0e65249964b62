#include "base/run_settings.h"
#include "settings/run_settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "base/context.h"
#include "io/numbers.h"
#include "support/param_name.h"
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
    EXPECT_EQ(std::vector<double>({s.PinkRef, s.RmsPercent, s.RmsDiff}),
              std::vector<double>({80, 0.5, 12}));
}

struct StoredCase {
    const char* name;
    std::string lines;
    double RunSettings::*field;  // null: the switch Trim, expected 1 or 0
    double expected;
};

class StoredValueTest : public LoadSettingsTest,
                        public ::testing::WithParamInterface<StoredCase> {};

// Every row runs under both separators: stored numbers read alike whichever one they use.
TEST_P(StoredValueTest, LoadsAs)
{
    const StoredCase& c = GetParam();
    for (const char* localeName : {"C", test::kCommaLocale}) {
        test::ScopedLocale locale(localeName);
        if (!locale.Active()) continue;
        ctx.decimalSeparator = FindDecimalSeparator();
        Load(c.lines + "\n");
        const double got = c.field ? ctx.settings.*c.field : ctx.settings.Trim;
        EXPECT_EQ(got, c.expected) << "locale " << localeName;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, StoredValueTest, ::testing::Values(
    StoredCase{"RmsPercentAboveOne", "RmsPercent=1.5", &RunSettings::RmsPercent, 1},
    StoredCase{"RmsPercentBelowZero", "RmsPercent=-0.2", &RunSettings::RmsPercent, 0},
    StoredCase{"RmsPercentComma", "RmsPercent=0,25", &RunSettings::RmsPercent, 0.25},
    StoredCase{"RmsDiffNegative", "RmsDiff=-6", &RunSettings::RmsDiff, 0},
    StoredCase{"PinkRefMalformed", "PinkRef=6x", &RunSettings::PinkRef, 64.82},
    StoredCase{"NewLevelGrouped", "NewLevel=1.000,5", &RunSettings::NewLevel, 0},
    StoredCase{"NewLevelBlanks", "NewLevel= -1.5 ", &RunSettings::NewLevel, -1.5},
    StoredCase{"TrimYesIsOff", "Trim=yes", nullptr, 0},
    StoredCase{"TrimEmptyIsOff", "Trim=", nullptr, 0},
    StoredCase{"TrimMissingIsOn", "Encode=0", nullptr, 1}), test::RowName());

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
