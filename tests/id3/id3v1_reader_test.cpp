#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "id3/id3_reader.h"
#include "support/param_name.h"
#include "support/tag_sets.h"

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

// Stand-in audio, then the tag.
std::vector<uint8_t> FileWithTag(const V1Fields& f, size_t audio = 1000)
{
    std::vector<uint8_t> file(audio, 0xAA);
    const auto put = [&](const std::string& text, size_t size) {
        for (size_t i = 0; i < size; ++i)
            file.push_back(static_cast<uint8_t>(i < text.size() ? text[i] : f.pad));
    };
    put(f.marker, 3);
    for (const std::string* text : {&f.title, &f.artist, &f.album}) put(*text, 30);
    put(f.year, 4);
    put(f.comment, 30);
    file.push_back(f.genre);
    return file;
}

struct V1Case {
    std::string name;
    V1Fields fields;
    Id3TagSet expected;
};

class Id3v1Tags : public testing::TestWithParam<V1Case> {};

TEST_P(Id3v1Tags, ReadBack)
{
    const auto file = FileWithTag(GetParam().fields);
    EXPECT_EQ(test::ReadTagsFromBytes(file, GetId3v1), GetParam().expected);
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
        V1Case{"AllFieldsWithLatin1Title",
               {.title = "Caf\xE9", .artist = "Artist", .album = "Album", .year = "1999",
                .comment = "Note", .genre = 17},
               {"Caf\u00E9", "Artist", "Album", "1999", "Note", "Rock", ""}},
        V1Case{"LowerCaseMarkerIsNoTag", {.marker = "tag", .title = "Title", .genre = 17}, {}},
        V1Case{"GenreLast", {.genre = 147}, {.Genre = "Synthpop"}},
        V1Case{"GenrePastTheTable", {.genre = 148}, {}}),
    test::RowName());

TEST(Id3v1Reader, TagMustFillTheLast128Bytes)
{
    std::vector<uint8_t> file = FileWithTag({.title = "Title"}, 0);
    EXPECT_EQ(test::ReadTagsFromBytes(file, GetId3v1).Title, "Title") << "a file of the tag alone";
    file.push_back(0);
    EXPECT_EQ(test::ReadTagsFromBytes(file, GetId3v1), Id3TagSet{}) << "a byte after the tag";
    file.erase(file.begin(), file.begin() + 2);
    EXPECT_EQ(test::ReadTagsFromBytes(file, GetId3v1), Id3TagSet{}) << "127 bytes hold no tag";
}

}  // namespace
}  // namespace varnook
