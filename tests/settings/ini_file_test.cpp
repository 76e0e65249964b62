#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    std::string Read(const std::string& key) const { return ReadIni(path, "Values", key, "<default>"); }
    void Write(const std::string& key, const std::string& value) { WriteIni(host, path, "Values", key, value); }
    // A write leaves no temporary file behind.
    long FilesInFolder() const { return std::distance(fs::directory_iterator(dir.Path()), {}); }

    test::TempDir dir;
    test::RecordingHost host;
    std::string path = dir.File("varnook.ini");
};

TEST_F(IniFileTest, ReadsKeysOfItsSectionOnly)
{
    EXPECT_EQ(Read("Trim"), "<default>");
    EXPECT_FALSE(fs::exists(path));  // a read never creates the file

    test::WriteText(path, "Trim=top\n[other]\nTrim=other\n[ vALUES ]\n  trim = 0 \nArguments=\n"
                          "[Values]\nTrim=second\nEncode==1\n");
    EXPECT_EQ(Read("TRIM"), "0");          // case, blanks, first duplicate wins
    EXPECT_EQ(Read("Arguments"), "");      // present but empty is not the default
    EXPECT_EQ(Read("Encode"), "=1");       // the value is all after the first "="
    EXPECT_EQ(Read("Level"), "<default>");
    EXPECT_EQ(ReadIni(path, "Elsewhere", "Trim", "x"), "x");
}

TEST_F(IniFileTest, LongValueIsCutTo254CharactersNeverInsideOne)
{
    test::WriteText(path, "[Values]\nA=" + std::string(300, 'a') + "\nB=" + std::string(253, 'b') + "\xC3\xA4" "c\n");
    EXPECT_EQ(Read("A"), std::string(254, 'a'));
    EXPECT_EQ(Read("B"), std::string(253, 'b') + "\xC3\xA4");
}

TEST_F(IniFileTest, WritesCreateAddAndReplaceKeepingForeignLines)
{
    Write("Trim", "1");
    Write("NewLevel", "-1,5");
    Write("Trim", "0");
    EXPECT_EQ(test::ReadText(path), "[Values]\nTrim=0\nNewLevel=-1,5\n");

    test::WriteText(path, "; comment\n[Window]\nLeft=10\n\n[Values]\nTrim=1\n; note\nnot a key\nEncode=1\n\n"
                          "[Values]\nTrim=dup\n[Tail]\nX=y");
    Write("Trim", "0");
    Write("PinkRef", "64.82");
    EXPECT_EQ(test::ReadText(path), "; comment\n[Window]\nLeft=10\n\n[Values]\nTrim=0\n; note\nnot a key\n"
                                    "Encode=1\nPinkRef=64.82\n\n[Values]\nTrim=dup\n[Tail]\nX=y\n");

    test::WriteText(path, "[Other]\nA=1\n");
    Write("Trim", "1");
    EXPECT_EQ(test::ReadText(path), "[Other]\nA=1\n[Values]\nTrim=1\n");
    EXPECT_EQ(FilesInFolder(), 1);
    EXPECT_TRUE(host.errorBoxes.empty());
}

TEST_F(IniFileTest, CrLfAndByteOrderMarkSurviveAndValuesStayOneLine)
{
    test::WriteText(path, "\xEF\xBB\xBF[Values]\r\nTrim=0\r\n");
    EXPECT_EQ(Read("Trim"), "0");
    Write("Arguments", "-b 192\n[Evil]\r\nTrim=1");
    EXPECT_EQ(test::ReadText(path), "\xEF\xBB\xBF[Values]\r\nTrim=0\r\nArguments=-b 192 [Evil]  Trim=1\r\n");
}

TEST_F(IniFileTest, WriteKeepsPermissionsSymlinkAndMakesTheFolder)
{
    const std::string real = dir.File("real.ini");
    test::WriteText(real, "[Values]\nTrim=1\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, path);
    Write("Trim", "0");
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(test::ReadText(real), "[Values]\nTrim=0\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string nested = dir.File("config/varnook/varnook.ini");
    WriteIni(host, nested, "Values", "Trim", "1");
    EXPECT_EQ(ReadIni(nested, "Values", "Trim", ""), "1");
    EXPECT_TRUE(host.errorBoxes.empty());
}

TEST_F(IniFileTest, FailedWriteShowsTheBoxAndChangesNothing)
{
    // A "folder" that is a regular file stops every writer, root included.
    const std::string blocker = dir.File("X");
    test::WriteText(blocker, "not a folder");
    WriteIni(host, blocker + "/Varnook.ini", "Values", "Trim", "1");
    WriteIni(host, dir.Path().string(), "Values", "Trim", "0");  // the settings path is a folder
    ASSERT_EQ(host.errorBoxes.size(), 2u);
    EXPECT_EQ(host.errorBoxes[0], "Error in writing to file " + blocker + "/Varnook.ini;  Section: Values;  Key: Trim;  Value: 1");
    EXPECT_EQ(test::ReadText(blocker), "not a folder");
    EXPECT_EQ(FilesInFolder(), 1);
}

struct GarbageCase {
    const char* name;
    std::string content;
    std::string trim;  // what "Trim" reads as
};

class IniGarbageTest : public IniFileTest, public ::testing::WithParamInterface<GarbageCase> {};

// Whatever the file holds, a read gives a defined value and a write keeps the file readable.
TEST_P(IniGarbageTest, ReadsDefinedValuesAndSurvivesAWrite)
{
    test::WriteText(path, GetParam().content);
    EXPECT_EQ(Read("Trim"), GetParam().trim);
    Write("Encode", "0");
    EXPECT_EQ(Read("Encode"), "0");
    EXPECT_EQ(Read("Trim"), GetParam().trim);
    EXPECT_TRUE(host.errorBoxes.empty());
}

std::string BinaryBytes()
{
    std::string bytes;
    for (int i = 0; i < 512; ++i) bytes += static_cast<char>((i * 37 + 11) % 256);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(Settings, IniGarbageTest, ::testing::Values(
    GarbageCase{"Empty", "", "<default>"},
    GarbageCase{"BinaryBytes", BinaryBytes(), "<default>"},
    GarbageCase{"BinaryAround", BinaryBytes() + "\n[Values]\nTrim=0\n" + BinaryBytes(), "0"},
    GarbageCase{"NulInValue", std::string("[Values]\nTrim=0\0x\n", 18), std::string("0\0x", 3)},
    GarbageCase{"HugeLine", "[Values]\n" + std::string(10000, 'k') + "\nTrim=0\n", "0"},
    GarbageCase{"HugeValue", "[Values]\nTrim=" + std::string(10000, '9'), std::string(254, '9')},
    GarbageCase{"NoSection", "Trim=0\n", "<default>"},
    GarbageCase{"UnclosedHeader", "[Values\nTrim=0\n", "<default>"},
    GarbageCase{"OnlyLineEnds", "\r\n\n\r\r\n", "<default>"}), test::RowName());

}  // namespace
}  // namespace varnook
