#include "control/run_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/context.h"
#include "control/numbers.h"
#include "settings/ini_file.h"
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
    EXPECT_TRUE(s.Analyze);
    EXPECT_TRUE(s.Amplify);
    EXPECT_TRUE(s.Trim);
    EXPECT_TRUE(s.Encode);
    for (const bool keep : s.KeepTag) EXPECT_TRUE(keep);
    EXPECT_EQ(s.NewLevel, 0);
    EXPECT_EQ(s.Lead[kLeadIn], 0.2);
    EXPECT_EQ(s.Lead[kLeadOut], 0.2);
    EXPECT_EQ(s.TrimLevel[kCutIn], 30);
    EXPECT_EQ(s.TrimLevel[kFadeIn], 24);
    EXPECT_EQ(s.TrimLevel[kFadeOut], 24);
    EXPECT_EQ(s.TrimLevel[kCutOut], 30);
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
    EXPECT_TRUE(host.lines.empty());
    EXPECT_TRUE(host.errorBoxes.empty());
}

TEST_F(LoadSettingsTest, CommaLocaleGivesTheSameDefaults)
{
    test::ScopedLocale locale(test::kCommaLocale);
    if (!locale.Active()) GTEST_SKIP() << test::kCommaLocale << " is not installed";
    ctx.decimalSeparator = FindDecimalSeparator();
    ASSERT_EQ(ctx.decimalSeparator, ',');
    LoadSettings(ctx);
    ExpectDefaults(ctx.settings);
}

TEST_F(LoadSettingsTest, EveryKeyIsReadFromItsOwnName)
{
    Store("Analyze=0\nLevel=0\nTrim=0\nEncode=0\n0ID3=0\n3ID3=0\n6ID3=0\nNewLevel=-3\n0Lead=1\n1Lead=2\n"
          "0Level=40\n1Level=21\n2Level=22\n3Level=41\nArguments=-V 2\nPinkRef=80\nRmsPercent=0.5\nRmsDiff=12\n");
    LoadSettings(ctx);
    const RunSettings& s = ctx.settings;
    EXPECT_FALSE(s.Analyze);
    EXPECT_FALSE(s.Amplify);
    EXPECT_FALSE(s.Trim);
    EXPECT_FALSE(s.Encode);
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
    const char* line;  // the stored "key=value" line
    double RunSettings::*number;  // the field it loads into, or null for the switch Trim
    double expected;
};

class StoredValueTest : public LoadSettingsTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValueTest, LoadsAs)
{
    const StoredCase& c = GetParam();
    Store(std::string(c.line) + "\n");
    LoadSettings(ctx);
    if (c.number) {
        EXPECT_EQ(ctx.settings.*c.number, c.expected);
    } else {
        EXPECT_EQ(ctx.settings.Trim, c.expected != 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StoredValueTest,
    ::testing::Values(StoredCase{"RmsPercentAboveOneIsOne", "RmsPercent=1.5", &RunSettings::RmsPercent, 1},
                      StoredCase{"RmsPercentBelowZeroIsZero", "RmsPercent=-0.2", &RunSettings::RmsPercent, 0},
                      StoredCase{"RmsDiffNegativeIsZero", "RmsDiff=-6", &RunSettings::RmsDiff, 0},
                      StoredCase{"RmsDiffZeroStays", "RmsDiff=0", &RunSettings::RmsDiff, 0},
                      StoredCase{"PinkRefComma", "PinkRef=64,5", &RunSettings::PinkRef, 64.5},
                      StoredCase{"PinkRefMalformedIsDefault", "PinkRef=6x", &RunSettings::PinkRef, 64.82},
                      StoredCase{"NewLevelWordIsDefault", "NewLevel=abc", &RunSettings::NewLevel, 0},
                      StoredCase{"NewLevelGroupedIsDefault", "NewLevel=1.000,5", &RunSettings::NewLevel, 0},
                      StoredCase{"NewLevelBlanksAllowed", "NewLevel= -1.5 ", &RunSettings::NewLevel, -1.5},
                      StoredCase{"TrimZeroIsOff", "Trim=0", nullptr, 0},
                      StoredCase{"TrimYesIsOff", "Trim=yes", nullptr, 0},
                      StoredCase{"TrimMinusOneIsOff", "Trim=-1", nullptr, 0},
                      StoredCase{"TrimEmptyIsOff", "Trim=", nullptr, 0},
                      StoredCase{"TrimOneIsOn", "Trim=1", nullptr, 1},
                      StoredCase{"TrimMissingIsOn", "Encode=0", nullptr, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadSettingsTest, ArrayEntriesFallBackOnTheirOwnDefaults)
{
    Store("2Level=\n0Lead=1,5\n1Lead=x\n");
    LoadSettings(ctx);
    EXPECT_EQ(ctx.settings.TrimLevel[kFadeOut], 24);
    EXPECT_EQ(ctx.settings.Lead[kLeadIn], 1.5);
    EXPECT_EQ(ctx.settings.Lead[kLeadOut], 0.2);
}

TEST_F(LoadSettingsTest, EmptyArgumentsStayEmptyAndLongOnesAreCut)
{
    Store("Arguments=\n");
    LoadSettings(ctx);
    EXPECT_EQ(ctx.settings.Arguments, "");
    Store("Arguments=" + std::string(300, 'x') + "\n");
    LoadSettings(ctx);
    EXPECT_EQ(ctx.settings.Arguments, std::string(254, 'x'));
}

// Stored numbers read the same whichever separator they were written with, in either locale.
TEST_F(LoadSettingsTest, CommaLocaleReadsBothSeparators)
{
    test::ScopedLocale locale(test::kCommaLocale);
    if (!locale.Active()) GTEST_SKIP() << test::kCommaLocale << " is not installed";
    ctx.decimalSeparator = FindDecimalSeparator();
    Store("PinkRef=64.5\n0Lead=1,5\nRmsPercent=0,25\nNewLevel=1.000,5\n");
    LoadSettings(ctx);
    EXPECT_EQ(ctx.settings.PinkRef, 64.5);
    EXPECT_EQ(ctx.settings.Lead[kLeadIn], 1.5);
    EXPECT_EQ(ctx.settings.RmsPercent, 0.25);
    EXPECT_EQ(ctx.settings.NewLevel, 0);
}

TEST_F(LoadSettingsTest, StoredTextsReadBack)
{
    for (const char sep : {'.', ','}) {
        ctx.decimalSeparator = sep;
        test::RecordingHost writer;
        WriteIni(writer, ctx.settings.SettingsPath, "Values", kKeyNewLevel, SettingText(-1.25, sep));
        WriteIni(writer, ctx.settings.SettingsPath, "Values", kKeyRmsPercent, SettingText(1.0 / 3.0, sep));
        WriteIni(writer, ctx.settings.SettingsPath, "Values", kKeyTrim, SettingText(false));
        WriteIni(writer, ctx.settings.SettingsPath, "Values", IndexedKey(3, kWordKeepTag), SettingText(true));
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

TEST_F(LoadSettingsTest, GarbageFileLoadsDefaultsWithoutWriting)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    test::WriteText(ctx.settings.SettingsPath, garbage);
    const auto before = fs::last_write_time(ctx.settings.SettingsPath);
    LoadSettings(ctx);
    ExpectDefaults(ctx.settings);
    EXPECT_EQ(test::ReadText(ctx.settings.SettingsPath), garbage);
    EXPECT_EQ(fs::last_write_time(ctx.settings.SettingsPath), before);
}

class SettingsFilePathTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ScopedEnv ini{"VARNOOK_INI", std::nullopt};
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
};

TEST_F(SettingsFilePathTest, EnvironmentVariableWins)
{
    test::ScopedEnv set{"VARNOOK_INI", std::string("/somewhere/else.ini")};
    EXPECT_EQ(SettingsFilePath(dir.File("varnook")), "/somewhere/else.ini");
}

TEST_F(SettingsFilePathTest, BesideTheProgramWhenItsFolderIsWritable)
{
    EXPECT_EQ(SettingsFilePath(dir.File("varnook")), dir.File("varnook.ini"));
}

TEST_F(SettingsFilePathTest, ConfigFolderWhenTheProgramFolderIsNotWritable)
{
    // No folder at all: not writable, even for root.
    EXPECT_EQ(SettingsFilePath("/no/such/folder/varnook"), dir.File("config") + "/varnook/varnook.ini");
    test::ScopedEnv relative{"XDG_CONFIG_HOME", std::string("relative")};
    test::ScopedEnv home{"HOME", dir.File("home")};
    EXPECT_EQ(SettingsFilePath("/no/such/folder/varnook"), dir.File("home") + "/.config/varnook/varnook.ini");
}

}  // namespace
}  // namespace varnook
