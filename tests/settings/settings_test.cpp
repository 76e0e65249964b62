// The settings file: the INI reader and writer, and the run settings loaded from it.
#include "settings/ini_file.h"
#include "settings/run_settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/context.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

// A settings file in a folder of its own, read and written as the program does.
class SettingsFile : public ::testing::Test {
protected:
    SettingsFile() { ctx.settings.SettingsPath = path; }
    std::string Read(const std::string& k) const { return ReadIni(path, "Values", k, "<default>"); }
    void Write(const std::string& k, const std::string& v) { WriteIni(host, path, "Values", k, v); }
    void Load(const std::string& lines)
    {
        test::WriteText(path, "[Values]\n" + lines);
        LoadSettings(ctx);
    }
    // A write leaves no temporary file behind.
    long FilesInFolder() const { return std::distance(fs::directory_iterator(dir.Path()), {}); }

    test::TempDir dir;
    test::RecordingHost host;
    std::string path = dir.File("varnook.ini");
    Context ctx{host};
};

TEST_F(SettingsFile, ReadsKeysOfItsSectionOnly)
{
    EXPECT_EQ(Read("Trim"), "<default>");
    EXPECT_FALSE(fs::exists(path));  // a read never creates the file

    test::WriteText(path, "Trim=top\n[other]\nTrim=other\n[ vALUES ]\n  trim = 0 \nArguments=\n"
                          "[Values]\nTrim=second\nEncode==1\nA=" + std::string(300, 'a') +
                          "\nB=" + std::string(253, 'b') + "\xC3\xA4" "c\nC=c" +
                          std::string(1000, '\xBF') + "\n");
    // Case, blanks, the first duplicate wins; present but empty is not the default; the value is
    // all after the first "="; long values are cut to 254 characters, never inside one, and a
    // stray continuation byte counts as a character of its own.
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"TRIM", "0"}, {"Arguments", ""}, {"Encode", "=1"}, {"Level", "<default>"}, {"A", std::string(254, 'a')},
             {"B", std::string(253, 'b') + "\xC3\xA4"}, {"C", "c" + std::string(253, '\xBF')}})
        EXPECT_EQ(Read(key), value) << key;
    EXPECT_EQ(ReadIni(path, "Elsewhere", "Trim", "x"), "x");
}

// A write replaces the key's first line or adds one at the end of its section's first block,
// creating section and file as needed; other lines, line ends and a byte-order mark stay, and a
// value stays one line.
TEST_F(SettingsFile, WritesCreateAddAndReplaceKeepingForeignLines)
{
    const struct {
        std::string before;
        std::vector<std::pair<std::string, std::string>> writes;
        std::string after;
    } rows[] = {
        {"", {{"Trim", "1"}, {"NewLevel", "-1,5"}, {"Trim", "0"}}, "[Values]\nTrim=0\nNewLevel=-1,5\n"},
        {"; comment\n[Window]\nLeft=10\n\n[Values]\nTrim=1\n; note\nnot a key\nEncode=1\n\n[Values]\nTrim=dup\n[Tail]\nX=y",
         {{"Trim", "0"}, {"PinkRef", "64.82"}},
         "; comment\n[Window]\nLeft=10\n\n[Values]\nTrim=0\n; note\nnot a key\nEncode=1\nPinkRef=64.82\n\n"
         "[Values]\nTrim=dup\n[Tail]\nX=y\n"},
        {"[Other]\nA=1\n", {{"Trim", "1"}}, "[Other]\nA=1\n[Values]\nTrim=1\n"},
        {"\xEF\xBB\xBF[Values]\r\nTrim=0\r\n", {{"Arguments", "-b 192\n[Evil]\r\nTrim=1"}},
         "\xEF\xBB\xBF[Values]\r\nTrim=0\r\nArguments=-b 192 [Evil]  Trim=1\r\n"},
    };
    for (const auto& row : rows) {
        fs::remove(path);
        if (!row.before.empty()) test::WriteText(path, row.before);
        for (const auto& [key, value] : row.writes) Write(key, value);
        EXPECT_EQ(test::ReadText(path), row.after);
        EXPECT_EQ(FilesInFolder(), 1);
    }
    EXPECT_EQ(Read("Trim"), "0");
    EXPECT_TRUE(host.errorBoxes.empty());
}

TEST_F(SettingsFile, WriteKeepsPermissionsSymlinkAndMakesTheFolder)
{
    const std::string real = dir.File("real.ini");
    test::WriteText(real, "[Values]\nTrim=1\n");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real, mode);
    fs::create_symlink(real, path);
    Write("Trim", "0");
    EXPECT_EQ(std::tuple(fs::is_symlink(path), test::ReadText(real), fs::status(real).permissions()),
              std::tuple(true, "[Values]\nTrim=0\n", mode));

    const std::string nested = dir.File("config/varnook/varnook.ini");
    WriteIni(host, nested, "Values", "Trim", "1");
    EXPECT_EQ(ReadIni(nested, "Values", "Trim", ""), "1");
    EXPECT_TRUE(host.errorBoxes.empty());
}

TEST_F(SettingsFile, FailedWriteShowsTheBoxAndChangesNothing)
{
    // A "folder" that is a regular file stops every writer, root included.
    const std::string blocker = dir.File("X");
    test::WriteText(blocker, "not a folder");
    WriteIni(host, blocker + "/Varnook.ini", "Values", "Trim", "1");
    WriteIni(host, dir.Path().string(), "Values", "Trim", "0");  // the settings path is a folder
    ASSERT_EQ(host.errorBoxes.size(), 2u);
    EXPECT_EQ(host.errorBoxes[0], "Error in writing to file " + blocker +
                                      "/Varnook.ini;  Section: Values;  Key: Trim;  Value: 1");
    EXPECT_EQ(test::ReadText(blocker), "not a folder");
    EXPECT_EQ(FilesInFolder(), 1);
}

// Numbers read alike whichever separator they use, under either locale's, blanks around them
// allowed; a grouped number or an empty value is none, and an array entry falls back alone; a
// line commented out with ";" or "#" is no value. (Each key's name, range and switch texts: the
// key table's test.)
TEST_F(SettingsFile, NumbersInEitherNotationAndArrayEntriesFallBackAlone)
{
    for (const char separator : {'.', ','}) {
        ctx.decimalSeparator = separator;
        Load("0ID3=0\n3ID3=0\n6ID3=0\n; NewLevel=-6\n#NewLevel=-6\nNewLevel= -3,5 \n0Lead=1.5\n1Lead=1.000,5\n2Level=\n3Level=41\nArguments=\n");
        const RunSettings& s = ctx.settings;
        EXPECT_EQ(std::tuple(s.KeepTag, s.NewLevel, s.Lead, s.TrimLevel[2], s.TrimLevel[3], s.Arguments),
                  std::tuple(std::array<bool, 7>{false, true, true, false, true, true, false}, -3.5,
                             std::array<double, 2>{1.5, 0.2}, 24, 41, std::string())) << separator;
    }
}

// The environment first; then beside the program only in its build folder, which CMake marks;
// any installed program, even in a writable folder that holds an old varnook.ini, uses the
// configuration folder.
TEST(SettingsFilePath, EnvironmentThenTheBuildFolderThenConfigFolder)
{
    test::TempDir dir;
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
    {
        test::ScopedEnv ini{"VARNOOK_INI", std::string("/somewhere/else.ini")};
        EXPECT_EQ(SettingsFilePath(dir.File("varnook")), "/somewhere/else.ini");
    }
    test::ScopedEnv ini{"VARNOOK_INI", std::nullopt};
    test::WriteText(dir.File("varnook.ini"), "[Values]\n");
    EXPECT_EQ(SettingsFilePath(dir.File("varnook")), dir.File("config") + "/varnook/varnook.ini");
    test::WriteText(dir.File("varnook-build-folder"), "");
    EXPECT_EQ(SettingsFilePath(dir.File("varnook")), dir.File("varnook.ini"));
    test::ScopedEnv relative{"XDG_CONFIG_HOME", std::string("relative")};  // not absolute: ignored
    test::ScopedEnv home{"HOME", dir.File("home")};
    EXPECT_EQ(SettingsFilePath("/usr/bin/varnook"), dir.File("home") + "/.config/varnook/varnook.ini");
}

}  // namespace
}  // namespace varnook
