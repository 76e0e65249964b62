#include "control/output_naming.h"

#include <gtest/gtest.h>

#include <set>

#include "io/text.h"
#include "support/param_name.h"

namespace varnook {
namespace {

struct SplitCase {
    const char* name;
    std::string path;
    PathParts parts;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitPathTable : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTable, TakesThePathApartAtTheLastSlashAndDot)
{
    const PathParts parts = SplitPath(GetParam().path);
    EXPECT_EQ(parts.Folder, GetParam().parts.Folder);
    EXPECT_EQ(parts.Base, GetParam().parts.Base);
    EXPECT_EQ(parts.Ext, GetParam().parts.Ext);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitPathTable,
    testing::Values(SplitCase{"DotsInTheName", "/m/take.one.wav", {"/m/", "take.one", ".wav"}},
                    SplitCase{"NoFolder", "take.wav", {"", "take", ".wav"}},
                    SplitCase{"DotOnlyInAFolder", "/a.b/name", {"/a.b/", "name", ""}},
                    SplitCase{"TrailingDot", "/a/name.", {"/a/", "name", "."}},
                    SplitCase{"ExtensionOnly", "/out/.mp3", {"/out/", "", ".mp3"}},
                    SplitCase{"FolderOnly", "/out/", {"/out/", "", ""}}),
    test::RowName());

struct NamingCase {
    const char* name;
    std::string source;
    std::string dest;
    bool encode;
    bool caseInsensitive;  // whether the file system folds letter case
    std::string path;
    bool encodes;
};

void PrintTo(const NamingCase& c, std::ostream* os)
{
    *os << c.name;
}

class NameOutputTable : public testing::TestWithParam<NamingCase> {};

TEST_P(NameOutputTable, NamesTheOutputAndDecidesTheEncoding)
{
    const NamingCase& c = GetParam();
    const std::set<std::string> folders{"/m/", "/out/"};
    FileProbe probe;
    probe.FolderExists = [&](const std::string& folder) { return folders.count(folder) > 0; };
    probe.SameFile = [&](const std::string& a, const std::string& b) {
        return c.caseInsensitive ? EqualsNoCase(a, b) : a == b;
    };
    const OutputName out = NameOutput(c.source, c.dest, c.encode, probe);
    EXPECT_EQ(out.Path, c.path);
    EXPECT_EQ(out.Encode, c.encodes);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, NameOutputTable,
    testing::Values(
        NamingCase{"WavEncodedBesideIt", "/m/song.wav", "", true, false, "/m/song.mp3", true},
        NamingCase{"WavNotEncodedGetsPrefix", "/m/song.wav", "", false, false, "/m/_song.wav", false},
        NamingCase{"Mp3EncodedGetsPrefix", "/m/song.mp3", "", true, false, "/m/_song.mp3", true},
        NamingCase{"Mp3NotEncodedBecomesWav", "/m/song.mp3", "", false, false, "/m/song.wav", false},
        NamingCase{"CapitalsOnCaseFoldingDisk", "/m/SONG.WAV", "", false, true, "/m/_SONG.wav", false},
        NamingCase{"CapitalsOnCaseKeepingDisk", "/m/SONG.WAV", "", false, false, "/m/SONG.wav", false},
        NamingCase{"DestFolderAndExtension", "/m/song.wav", "/out/.mp3", false, false, "/out/song.mp3", true},
        NamingCase{"DestFolderMissing", "/m/song.wav", "/gone/.mp3", false, false, "/m/song.mp3", true},
        NamingCase{"DestWavOverridesEncode", "/m/song.wav", "new.wav", true, false, "/m/new.wav", false},
        NamingCase{"DestExtensionInCapitals", "/m/song.wav", "/out/x.MP3", false, false, "/out/x.MP3", true},
        NamingCase{"DestOtherExtensionDoesNotEncode", "/m/song.wav", "/out/x.ogg", true, false, "/out/x.ogg", false},
        NamingCase{"DestFolderWithSlashKeepsEncode", "/m/song.wav", "/out/", true, false, "/out/song.mp3", true},
        NamingCase{"DestFolderWithoutSlash", "/m/song.wav", "/out", false, false, "/out/song.wav", false},
        NamingCase{"DestNamingTheSource", "/m/song.wav", "/m/song.wav", true, false, "/m/_song.wav", false}),
    test::RowName());

TEST(DecodedName, UsesThePrefixWhenThePlainNameIsTaken)
{
    const PathParts source = SplitPath("/m/song.MP3");
    EXPECT_EQ(DecodedName(source, [](const std::string&) { return false; }), "/m/song.wav");
    EXPECT_EQ(DecodedName(source, [](const std::string& p) { return p == "/m/song.wav"; }), "/m/_song.wav");
}

}  // namespace
}  // namespace varnook
