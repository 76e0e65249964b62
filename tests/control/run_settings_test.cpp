#include "control/run_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/context.h"
#include "control/numbers.h"
#include "settings/ini_file.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

class LoadSettingsTest : public ::testing::Test {
protected:
    LoadSettingsTest() { ctx.settings.SettingsPath = dir.File("varnook.ini"); }
    void Store(const std::string& lines) { test::WriteText(ctx.settings.SettingsPath, "[Values]\n" + lines); }

    test::TempDir dir;
    test::RecordingHost host;
    Context ctx{host};
};

void ExpectDefaults(const RunSettings& s)
{
    EXPECT_TRUE(s.Analyze && s.Amplify && s.Trim && s.Encode);
    EXPECT_EQ(s.KeepTag, (std::array<bool, 7>{true, true, true, true, true, true, true}));
    EXPECT_EQ(s.NewLevel, 0);
    EXPECT_EQ(s.Lead, (std::array<double, 2>{0.2, 0.2}));
    EXPECT_EQ(s.TrimLevel, (std::array<double, 4>{30, 24, 24, 30}));
    EXPECT_EQ(s.Arguments, "-h");
    EXPECT_EQ(s.PinkRef, 64.82);
    EXPECT_EQ(s.RmsPercent, 0.95);
    EXPECT_EQ(s.RmsDiff, 30);
    EXPECT_EQ(s.SettingsSection, "Values");
}

TEST_F(LoadSettingsTest, NoFileGivesEveryDefaultCreatesNothingAndSetsTheCaption)
{
    LoadSettings(ctx);
    ExpectDefaults(ctx.settings);
    EXPECT_FALSE(fs::exists(ctx.settings.SettingsPath));
    EXPECT_EQ(host.captions, std::vector<std::string>{"Varnook Progress"});
    EXPECT_TRUE(host.lines.empty() && host.errorBoxes.empty());
}

TEST_F(LoadSettingsTest, EveryKeyIsReadFromItsOwnName)
{
    Store("Analyze=0\nLevel=0\nTrim=0\nEncode=0\n0ID3=0\n3ID3=0\n6ID3=0\nNewLevel=-3\n0Lead=1\n1Lead=2\n"
          "0Level=40\n1Level=21\n2Level=22\n3Level=41\nArguments=-V 2\nPinkRef=80\nRmsPercent=0.5\nRmsDiff=12\n");
    LoadSettings(ctx);
    const RunSettings& s = ctx.settings;
    EXPECT_FALSE(s.Analyze || s.Amplify || s.Trim || s.Encode);
    EXPECT_EQ(s.KeepTag, (std::array<bool, 7>{false, true, true, false, true, true, false}));
    EXPECT_EQ(s.NewLevel, -3);
    EXPECT_EQ(s.Lead, (std::array<double, 2>{1, 2}));
    EXPECT_EQ(s.TrimLevel, (std::array<double, 4>{40, 21, 22, 41}));
    EXPECT_EQ(s.Arguments, "-V 2");
    EXPECT_EQ(s.PinkRef, 80);
    EXPECT_EQ(s.RmsPercent, 0.5);
    EXPECT_EQ(s.RmsDiff, 12);
}

struct StoredCase {
    const char* name;
    std::string lines;
    double RunSettings::*field;  // null: the switch Trim, expected 1 or 0
    double expected;
};

class StoredValueTest : public LoadSettingsTest, public ::testing::WithParamInterface<StoredCase> {};

// Every row runs under both separators: stored numbers read alike whichever one they use.
TEST_P(StoredValueTest, LoadsAs)
{
    const StoredCase& c = GetParam();
    for (const char* localeName : {"C", test::kCommaLocale}) {
        test::ScopedLocale locale(localeName);
        if (!locale.Active()) continue;
        ctx.decimalSeparator = FindDecimalSeparator();
        Store(c.lines + "\n");
        LoadSettings(ctx);
        const double got = c.field ? ctx.settings.*c.field : ctx.settings.Trim;
        EXPECT_EQ(got, c.expected) << "locale " << localeName;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, StoredValueTest, ::testing::Values(
    StoredCase{"RmsPercentAboveOneIsOne", "RmsPercent=1.5", &RunSettings::RmsPercent, 1},
    StoredCase{"RmsPercentBelowZeroIsZero", "RmsPercent=-0.2", &RunSettings::RmsPercent, 0},
    StoredCase{"RmsPercentComma", "RmsPercent=0,25", &RunSettings::RmsPercent, 0.25},
    StoredCase{"RmsDiffNegativeIsZero", "RmsDiff=-6", &RunSettings::RmsDiff, 0},
    StoredCase{"RmsDiffZeroStays", "RmsDiff=0", &RunSettings::RmsDiff, 0},
    StoredCase{"PinkRefMalformedIsDefault", "PinkRef=6x", &RunSettings::PinkRef, 64.82},
    StoredCase{"NewLevelWordIsDefault", "NewLevel=abc", &RunSettings::NewLevel, 0},
    StoredCase{"NewLevelGroupedIsDefault", "NewLevel=1.000,5", &RunSettings::NewLevel, 0},
    StoredCase{"NewLevelBlanksAllowed", "NewLevel= -1.5 ", &RunSettings::NewLevel, -1.5},
    StoredCase{"TrimZeroIsOff", "Trim=0", nullptr, 0},
    StoredCase{"TrimYesIsOff", "Trim=yes", nullptr, 0},
    StoredCase{"TrimMinusOneIsOff", "Trim=-1", nullptr, 0},
    StoredCase{"TrimEmptyIsOff", "Trim=", nullptr, 0},
    StoredCase{"TrimMissingIsOn", "Encode=0", nullptr, 1}), test::RowName());

TEST_F(LoadSettingsTest, ArrayEntriesFallBackOnTheirOwnDefaults)
{
    Store("2Level=\n0Lead=1,5\n1Lead=x\n");
    LoadSettings(ctx);
    EXPECT_EQ(ctx.settings.TrimLevel, (std::array<double, 4>{30, 24, 24, 30}));
    EXPECT_EQ(ctx.settings.Lead, (std::array<double, 2>{1.5, 0.2}));
}

TEST_F(LoadSettingsTest, EmptyArgumentsStayEmpty)
{
    Store("Arguments=\n");
    LoadSettings(ctx);
    EXPECT_EQ(ctx.settings.Arguments, "");
}

TEST_F(LoadSettingsTest, StoredTextsReadBackInEitherNotation)
{
    for (const char sep : {'.', ','}) {
        ctx.decimalSeparator = sep;
        const std::string& file = ctx.settings.SettingsPath;
        WriteIni(host, file, "Values", kKeyNewLevel, SettingText(-1.25, sep));
        WriteIni(host, file, "Values", kKeyRmsPercent, SettingText(1.0 / 3.0, sep));
        WriteIni(host, file, "Values", kKeyTrim, SettingText(false));
        WriteIni(host, file, "Values", IndexedKey(3, kWordKeepTag), SettingText(true));
        LoadSettings(ctx);
        EXPECT_EQ(ctx.settings.NewLevel, -1.25);
        EXPECT_NEAR(ctx.settings.RmsPercent, 1.0 / 3.0, 1e-15);  // 15 significant digits stored
        EXPECT_FALSE(ctx.settings.Trim);
        EXPECT_TRUE(ctx.settings.KeepTag[kTagYear]);
    }
}

TEST_F(LoadSettingsTest, DefaultButtonResetsOnlyTheAnalysisParameters)
{
    Store("Trim=0\nNewLevel=5\nArguments=-b 128\nPinkRef=70\nRmsPercent=0.5\nRmsDiff=10\n");
    LoadSettings(ctx);
    SetDefaults(ctx.settings);
    EXPECT_EQ(ctx.settings.PinkRef, 64.82);
    EXPECT_EQ(ctx.settings.RmsPercent, 0.95);
    EXPECT_EQ(ctx.settings.RmsDiff, 30);
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_EQ(ctx.settings.NewLevel, 5);
    EXPECT_EQ(ctx.settings.Arguments, "-b 128");
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
    EXPECT_EQ(SettingsFilePath("/no/such/folder/varnook"), dir.File("config") + "/varnook/varnook.ini");
    test::ScopedEnv relative{"XDG_CONFIG_HOME", std::string("relative")};  // not absolute: ignored
    test::ScopedEnv home{"HOME", dir.File("home")};
    EXPECT_EQ(SettingsFilePath("/no/such/folder/varnook"), dir.File("home") + "/.config/varnook/varnook.ini");
}

}  // namespace
}  // namespace varnook
