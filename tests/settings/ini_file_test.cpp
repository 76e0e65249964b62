#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    std::string Read(const std::string& key, const std::string& defaultValue = "<default>") const
    {
        return ReadIni(path, "Values", key, defaultValue);
    }
    void Write(const std::string& key, const std::string& value) { WriteIni(host, path, "Values", key, value); }
    // Only the settings file itself: a write leaves no temporary file behind.
    size_t FilesInFolder() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
    }

    test::TempDir dir;
    test::RecordingHost host;
    std::string path = dir.File("varnook.ini");
};

TEST_F(IniFileTest, MissingFileGivesTheDefaultAndCreatesNothing)
{
    EXPECT_EQ(Read("Trim", "1"), "1");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(ReadIni(dir.File("no/such/folder.ini"), "Values", "Trim", "1"), "1");
}

TEST_F(IniFileTest, KeysAndSectionIgnoreCaseAndBlanks)
{
    test::WriteText(path, "[other]\nTrim=other\n[ vALUES ]\n  trim = 0 \nRmsPercent=0.9\n");
    EXPECT_EQ(Read("TRIM"), "0");
    EXPECT_EQ(Read("rmspercent"), "0.9");
    EXPECT_EQ(ReadIni(path, "values", "Trim", ""), "0");
}

TEST_F(IniFileTest, MissingKeyOrSectionGivesTheDefaultButEmptyValueGivesEmpty)
{
    test::WriteText(path, "[Values]\nArguments=\nTrim=1\n");
    EXPECT_EQ(Read("Arguments", "-h"), "");
    EXPECT_EQ(Read("Encode", "1"), "1");
    EXPECT_EQ(ReadIni(path, "Elsewhere", "Trim", "x"), "x");
}

TEST_F(IniFileTest, KeysOutsideTheSectionAreNotSeen)
{
    test::WriteText(path, "Trim=0\n[Other]\nTrim=0\n[Values]\nEncode=0\n");
    EXPECT_EQ(Read("Trim"), "<default>");
}

TEST_F(IniFileTest, LongValueIsCutTo254Characters)
{
    test::WriteText(path, "[Values]\nArguments=" + std::string(300, 'a') + "\n");
    EXPECT_EQ(Read("Arguments"), std::string(254, 'a'));
}

TEST_F(IniFileTest, CutNeverSplitsAUtf8Character)
{
    // 253 ASCII characters, then "ä" (two bytes) as the 254th, then one more.
    const std::string value = std::string(253, 'a') + "\xC3\xA4" + "b";
    test::WriteText(path, "[Values]\nArguments=" + value + "\n");
    EXPECT_EQ(Read("Arguments"), std::string(253, 'a') + "\xC3\xA4");
}

TEST_F(IniFileTest, DuplicateKeysFirstWinsAndTheWriteReplacesTheFirst)
{
    test::WriteText(path, "[Values]\nTrim=first\n[Values]\nTrim=second\nEncode=1\n");
    EXPECT_EQ(Read("Trim"), "first");
    Write("Trim", "0");
    EXPECT_EQ(test::ReadText(path), "[Values]\nTrim=0\n[Values]\nTrim=second\nEncode=1\n");
}

TEST_F(IniFileTest, WriteCreatesFileAndSectionThenAddsKeys)
{
    Write("Trim", "1");
    Write("NewLevel", "-1,5");
    Write("Trim", "0");
    EXPECT_EQ(test::ReadText(path), "[Values]\nTrim=0\nNewLevel=-1,5\n");
    EXPECT_EQ(Read("NewLevel"), "-1,5");
    EXPECT_TRUE(host.errorBoxes.empty());
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(IniFileTest, WriteKeepsEveryLineItDoesNotOwn)
{
    const std::string before =
        "; kept comment\n[Window]\nLeft=10\n\n[Values]\nTrim=1\n; note\nnot a key line\nEncode=1\n\n[Tail]\nX=y";
    test::WriteText(path, before);
    Write("Trim", "0");
    Write("PinkRef", "64.82");
    EXPECT_EQ(test::ReadText(path),
              "; kept comment\n[Window]\nLeft=10\n\n[Values]\nTrim=0\n; note\nnot a key line\nEncode=1\n"
              "PinkRef=64.82\n\n[Tail]\nX=y\n");
}

TEST_F(IniFileTest, WriteAppendsTheSectionWhenTheFileLacksIt)
{
    test::WriteText(path, "[Other]\nA=1\n");
    Write("Trim", "1");
    EXPECT_EQ(test::ReadText(path), "[Other]\nA=1\n[Values]\nTrim=1\n");
}

TEST_F(IniFileTest, CrLfFileReadsAndStaysCrLf)
{
    test::WriteText(path, "\xEF\xBB\xBF[Values]\r\nTrim=0\r\n");
    EXPECT_EQ(Read("Trim"), "0");
    Write("Encode", "1");
    EXPECT_EQ(test::ReadText(path), "\xEF\xBB\xBF[Values]\r\nTrim=0\r\nEncode=1\r\n");
}

TEST_F(IniFileTest, ValueWithLineBreaksStaysOneLine)
{
    Write("Arguments", "-b 192\n[Evil]\r\nTrim=0");
    EXPECT_EQ(Read("Arguments"), "-b 192 [Evil]  Trim=0");
    EXPECT_EQ(Read("Trim"), "<default>");
}

TEST_F(IniFileTest, WriteKeepsThePermissionsOfTheOldFile)
{
    test::WriteText(path, "[Values]\nTrim=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    Write("Trim", "0");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniFileTest, WriteThroughASymlinkUpdatesItsTarget)
{
    const std::string real = dir.File("real.ini");
    test::WriteText(real, "[Values]\nTrim=1\n");
    fs::create_symlink(real, path);
    Write("Trim", "0");
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(test::ReadText(real), "[Values]\nTrim=0\n");
}

TEST_F(IniFileTest, WriteCreatesTheMissingFolder)
{
    const std::string nested = dir.File("config/varnook/varnook.ini");
    WriteIni(host, nested, "Values", "Trim", "1");
    EXPECT_EQ(ReadIni(nested, "Values", "Trim", ""), "1");
    EXPECT_TRUE(host.errorBoxes.empty());
}

TEST_F(IniFileTest, FailedWriteShowsTheBoxAndChangesNothing)
{
    // A folder that is a regular file stops every writer, root included.
    const std::string blocker = dir.File("X");
    test::WriteText(blocker, "not a folder");
    const std::string file = blocker + "/Varnook.ini";
    WriteIni(host, file, "Values", "Trim", "1");
    ASSERT_EQ(host.errorBoxes.size(), 1u);
    EXPECT_EQ(host.errorBoxes[0], "Error in writing to file " + file + ";  Section: Values;  Key: Trim;  Value: 1");
    EXPECT_EQ(test::ReadText(blocker), "not a folder");

    // A settings path that is a folder fails too, and each failure shows its own box.
    WriteIni(host, dir.Path().string(), "Values", "Trim", "0");
    EXPECT_EQ(host.errorBoxes.size(), 2u);
    EXPECT_EQ(FilesInFolder(), 1u);
}

struct GarbageCase {
    const char* name;
    std::string content;
    std::string trim;  // what ReadIni gives for "Trim" with the default "<default>"
};

class IniGarbageTest : public IniFileTest, public ::testing::WithParamInterface<GarbageCase> {};

// Whatever the file holds, reading gives a defined value and a write keeps the file readable.
TEST_P(IniGarbageTest, ReadsDefinedValuesAndSurvivesAWrite)
{
    const GarbageCase& c = GetParam();
    test::WriteText(path, c.content);
    EXPECT_EQ(Read("Trim"), c.trim);
    Write("Encode", "0");
    EXPECT_EQ(Read("Encode"), "0");
    EXPECT_EQ(Read("Trim"), c.trim);
    EXPECT_TRUE(host.errorBoxes.empty());
}

std::string BinaryBytes()
{
    std::string bytes;
    for (int i = 0; i < 512; ++i) bytes += static_cast<char>((i * 37 + 11) % 256);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, IniGarbageTest,
    ::testing::Values(
        GarbageCase{"Empty", "", "<default>"},
        GarbageCase{"BinaryBytes", BinaryBytes(), "<default>"},
        GarbageCase{"BinaryAroundTheSection", BinaryBytes() + "\n[Values]\nTrim=0\n" + BinaryBytes(), "0"},
        GarbageCase{"NulInValue", std::string("[Values]\nTrim=0\0x\n", 18), std::string("0\0x", 3)},
        GarbageCase{"HugeLine", "[Values]\n" + std::string(10000, 'k') + "\nTrim=0\n", "0"},
        GarbageCase{"HugeValue", "[Values]\nTrim=" + std::string(10000, '9') + "\n", std::string(254, '9')},
        GarbageCase{"NoSection", "Trim=0\nEncode=1\n", "<default>"},
        GarbageCase{"UnclosedHeader", "[Values\nTrim=0\n", "<default>"},
        GarbageCase{"OnlyLineEnds", "\r\n\n\r\r\n", "<default>"},
        GarbageCase{"EqualsInValue", "[Values]\nTrim==0\n", "=0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace varnook
