#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "id3/id3_reader.h"
#include "support/recording_host.h"
#include "support/tag_sets.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

using namespace std::string_literals;

// The raw bytes of each field; shorter texts are padded with `pad`.
struct V1Fields {
    std::string marker = "TAG";
    std::string title{};
    std::string artist{};
    std::string album{};
    std::string year{};
    std::string comment{};  // 30 bytes; the 1.1 form ends in "\0" and the track byte
    uint8_t genre = 255;
    char pad = '\0';
};

std::vector<uint8_t> V1Tag(const V1Fields& f)
{
    std::vector<uint8_t> tag;
    const auto put = [&](const std::string& text, size_t size) {
        for (size_t i = 0; i < size; ++i)
            tag.push_back(static_cast<uint8_t>(i < text.size() ? text[i] : f.pad));
    };
    put(f.marker, 3);
    for (const std::string* text : {&f.title, &f.artist, &f.album}) put(*text, 30);
    put(f.year, 4);
    put(f.comment, 30);
    tag.push_back(f.genre);
    return tag;
}

// Stand-in audio, then the tag.
std::vector<uint8_t> FileWithTag(const V1Fields& f)
{
    std::vector<uint8_t> file(1000, 0xAA);
    const std::vector<uint8_t> tag = V1Tag(f);
    file.insert(file.end(), tag.begin(), tag.end());
    return file;
}

struct V1Case {
    friend void PrintTo(const V1Case& c, std::ostream* os) { *os << c.name; }
    std::string name;
    V1Fields fields;
    Id3TagSet expected;
};

class Id3v1Tags : public testing::TestWithParam<V1Case> {};

TEST_P(Id3v1Tags, ReadBack)
{
    EXPECT_EQ(test::ReadTagsFromBytes(FileWithTag(GetParam().fields), GetId3v1), GetParam().expected);
}

const std::string k30 = "abcdefghijklmnopqrstuvwxyz1234";

INSTANTIATE_TEST_SUITE_P(
    Forms, Id3v1Tags,
    testing::Values(
        V1Case{"Version10CommentUsesAll30Bytes", {.comment = k30}, {.Comment = k30}},
        V1Case{"Version11Track7", {.comment = "Short"s + std::string(23, '\0') + "\0\x07"s},
               {.Comment = "Short", .Track = "7"}},
        // A signed byte would make 255 into -1.
        V1Case{"Version11Track255", {.comment = std::string(28, 'c') + "\0\xFF"s},
               {.Comment = std::string(28, 'c'), .Track = "255"}},
        V1Case{"Version11FormWithTrackZero", {.comment = "Short"}, {.Comment = "Short"}},
        V1Case{"TrackByteWithoutZeroBeforeIt", {.comment = std::string(29, 'c') + "\x07"},
               {.Comment = std::string(29, 'c') + "\x07"}},
        V1Case{"TitlePaddedWithBlanks", {.title = "  Abcd", .pad = ' '}, {.Title = "Abcd"}},
        V1Case{"ZeroInTheMiddleEndsTheText", {.title = "Ab\0cd"s, .pad = ' '}, {.Title = "Ab"}},
        V1Case{"YearOfFourBlanks", {.year = "    "}, {}},
        V1Case{"AllFieldsWithLatin1Title",
               {.title = "Caf\xE9", .artist = "Artist", .album = "Album", .year = "1999", .comment = "Note",
                .genre = 17},
               {"Caf\u00E9", "Artist", "Album", "1999", "Note", "Rock", ""}},
        V1Case{"LowerCaseMarkerIsNoTag", {.marker = "tag", .title = "Title", .genre = 17}, {}},
        V1Case{"GenreFirst", {.genre = 0}, {.Genre = "Blues"}},
        V1Case{"GenreDanceHall", {.genre = 125}, {.Genre = "Dance Hall"}},
        V1Case{"GenreLast", {.genre = 147}, {.Genre = "Synthpop"}},
        V1Case{"GenrePastTheTable", {.genre = 148}, {}}),
    [](const testing::TestParamInfo<V1Case>& info) { return info.param.name; });

TEST(Id3v1Reader, TagMustFillTheLast128Bytes)
{
    const std::vector<uint8_t> tag = V1Tag({.title = "Title"});
    EXPECT_EQ(test::ReadTagsFromBytes(tag, GetId3v1).Title, "Title") << "a file of the tag alone";
    const std::vector<uint8_t> tooShort(tag.begin() + 1, tag.end());
    EXPECT_EQ(test::ReadTagsFromBytes(tooShort, GetId3v1), Id3TagSet{}) << "127 bytes hold no tag";
    std::vector<uint8_t> trailing = FileWithTag({.title = "Title"});
    trailing.push_back(0);
    EXPECT_EQ(test::ReadTagsFromBytes(trailing, GetId3v1), Id3TagSet{}) << "a byte after the tag";
}

TEST(Id3v1Reader, FileErrorsGiveTheEmptySetQuietly)
{
    test::TempDir dir;
    test::RecordingHost host;
    EXPECT_EQ(GetId3v1(dir.File("missing.mp3"), host), Id3TagSet{});
    EXPECT_EQ(GetId3v1(dir.Path().string(), host), Id3TagSet{}) << "a folder";
    EXPECT_TRUE(host.errorBoxes.empty() && host.lines.empty());
}

}  // namespace
}  // namespace varnook
