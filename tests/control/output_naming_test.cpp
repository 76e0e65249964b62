#include "control/output_naming.h"

#include <gtest/gtest.h>

#include "io/text.h"
#include "support/param_name.h"

namespace varnook {
namespace {

struct NamingCase {
    const char* name;
    std::string source;
    std::string dest;
    bool encode;
    bool caseInsensitive;  // whether the file system folds letter case
    std::string path;
    bool encodes;
};

class NameOutputTable : public testing::TestWithParam<NamingCase> {};

TEST_P(NameOutputTable, NamesTheOutputAndDecidesTheEncoding)
{
    const NamingCase& c = GetParam();
    FileProbe probe;
    probe.FolderExists = [](const std::string& folder) { return folder == "/m/" || folder == "/out/"; };
    probe.SameFile = [&](const std::string& a, const std::string& b) {
        return c.caseInsensitive ? EqualsNoCase(a, b) : a == b;
    };
    const OutputName out = NameOutput(c.source, c.dest, c.encode, probe);
    EXPECT_EQ(out.Path, c.path);
    EXPECT_EQ(out.Encode, c.encodes);
}

// Plain wav and mp3 names and the simple "dest" forms are pinned by the end-to-end runs.
INSTANTIATE_TEST_SUITE_P(Outputs, NameOutputTable, testing::Values(
    NamingCase{"LastDotOnly", "/a.b/take.one.wav", "", true, false, "/a.b/take.one.mp3", true},
    NamingCase{"CaseFolding", "/m/SONG.WAV", "", false, true, "/m/_SONG.wav", false},
    NamingCase{"CaseKeeping", "/m/SONG.WAV", "", false, false, "/m/SONG.wav", false},
    NamingCase{"DestCapitals", "/m/song.wav", "/out/x.MP3", false, false, "/out/x.MP3", true},
    NamingCase{"DestOther", "/m/song.wav", "/out/x.ogg", true, false, "/out/x.ogg", false},
    NamingCase{"DestSlash", "/m/song.wav", "/out/", true, false, "/out/song.mp3", true},
    NamingCase{"DestNoSlash", "/m/song.wav", "/out", false, false, "/out/song.wav", false},
    NamingCase{"DestIsSource", "/m/song.wav", "/m/song.wav", true, false, "/m/_song.wav", false}),
    test::RowName());

}  // namespace
}  // namespace varnook
