#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "id3/id3_reader.h"
#include "id3/source_tags.h"
#include "support/captured_run.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/tag_sets.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

using namespace std::string_literals;

// A text frame: a three-letter identifier makes it a 2.2 frame, a four-letter one a 2.3 frame.
std::string Frame(const std::string& id, const std::string& text, char formatFlags = 0, char encoding = 0)
{
    return test::Id3Frame(id.size() == 3 ? 2 : 3, id, encoding + text, formatFlags);
}

std::string Header(char major, const std::string& sizeDigits) { return "ID3"s + major + "\0\0"s + sizeDigits; }

// A tag with padding after the frames, then stand-in audio.
std::string TagFile(char major, const std::string& frames)
{
    return test::Id3Tag(major, frames + std::string(64, '\0')) + std::string(500, '\xAA');
}

std::string OneFrame(const std::string& id, const std::string& text, char encoding = 0, char major = 3)
{
    return TagFile(major, Frame(id, text, 0, encoding));
}

// The raw bytes of each field, shorter texts padded with `pad`. The 30 bytes of a version 1.1
// comment end in "\0" and the track byte.
struct V1Fields {
    std::string marker = "TAG", title{}, artist{}, album{}, year{}, comment{};
    char genre = '\xFF', pad = '\0';
};

// Stand-in audio, then a version 1 tag.
std::string V1File(const V1Fields& f)
{
    std::string file(1000, '\xAA');
    const auto put = [&](const std::string& text, size_t size) {
        file += (text + std::string(size, f.pad)).substr(0, size);
    };
    for (const auto& [text, size] : {std::pair{&f.marker, 3}, {&f.title, 30}, {&f.artist, 30}, {&f.album, 30},
                                     {&f.year, 4}, {&f.comment, 30}})
        put(*text, static_cast<size_t>(size));
    return file + f.genre;
}

struct TagCase { std::string name, file; Id3TagSet expected; };

// The row's bytes as an MP3 file, in a fresh folder.
class TagFileTest : public testing::TestWithParam<TagCase> {
protected:
    TagFileTest() { test::WriteText(path, GetParam().file); }
    test::TempDir dir;
    const std::string path = dir.File("song.mp3");
};
class Id3v1Tags : public TagFileTest {};
class Id3v2Tags : public TagFileTest {};


TEST_P(Id3v1Tags, ReadBack)
{
    EXPECT_EQ(GetId3v1(path), GetParam().expected);
}

// From a file, and from memory as a WAV file's "id3 " chunk holds the tag: the two agree.
TEST_P(Id3v2Tags, ReadBack)
{
    EXPECT_EQ(GetId3v2(path), GetParam().expected);
    EXPECT_EQ(Id3v2FromBytes(test::ReadAllBytes(path)), GetParam().expected) << "from memory";
}

INSTANTIATE_TEST_SUITE_P(Forms, Id3v1Tags, testing::Values(
    TagCase{"Version10CommentUsesAll30Bytes", V1File({.comment = std::string(30, 'c')}), {.Comment = std::string(30, 'c')}},
    // A signed byte would make 255 into -1.
    TagCase{"Version11Track255", V1File({.comment = std::string(28, 'c') + "\0\xFF"s}),
            {.Comment = std::string(28, 'c'), .Track = "255"}},
    TagCase{"Version11FormWithTrackZero", V1File({.comment = "Short"}), {.Comment = "Short"}},
    TagCase{"TitlePaddedWithBlanks", V1File({.title = "  Abcd", .pad = ' '}), {.Title = "Abcd"}},
    // Latin-1 letters from both halves of the upper range, whose UTF-8 forms start C2 and C3.
    TagCase{"AllFieldsWithLatin1Title", V1File({"TAG", "\xA9 Caf\xE9 \xB0\xBD\xBF", "Artist", "Album", "1999", "Note", 17}),
            {"\u00A9 Caf\u00E9 \u00B0\u00BD\u00BF", "Artist", "Album", "1999", "Note", "Rock", ""}},
    TagCase{"LowerCaseMarkerIsNoTag", V1File({.marker = "tag", .title = "Title", .genre = 17}), {}},
    TagCase{"GenreLast", V1File({.genre = static_cast<char>(147)}), {.Genre = "Synthpop"}},
    TagCase{"AByteAfterTheTag", V1File({.title = "Title"}) + '\0', {}}),
    test::RowName());

INSTANTIATE_TEST_SUITE_P(Frames, Id3v2Tags, testing::Values(
    // Tags of 2.3 and 2.4 from real writers are read in the tags end-to-end test. 2.2 frames have
    // no flag bytes: where a 2.3 frame keeps its format flags, this one has the "t" of
    // "Title", which must not empty the field.
    TagCase{"V22ThreeLetterIdsAndSixByteHeaders",
            TagFile(2, Frame("TT2", "Title") + Frame("TP1", "Artist") + Frame("TAL", "Album") + Frame("TYE", "1999") +
                           Frame("COM", "eng\0Comment"s) + Frame("TCO", "Jazz") + Frame("TRK", "3")),
            {"Title", "Artist", "Album", "1999", "Comment", "Jazz", "3"}},
    TagCase{"V24YearFromTdrc", TagFile(4, Frame("TYER", "1970") + Frame("TDRC", "2002")), {.Year = "2002"}},
    TagCase{"CompressedFrameIsSkipped", TagFile(3, Frame("TIT2", "Title", '\x80') + Frame("TPE1", "Artist")), {.Artist = "Artist"}},
    // The identifier is found first inside another frame's data, and that copy is read.
    TagCase{"FirstOccurrenceAnywhereWins", TagFile(3, Frame("TXXX", "x\0TIT2\0\0\0\x05\0\0\0Copy"s) + Frame("TIT2", "Real")),
            {.Title = "Copy"}},
    // Only the lowest size byte is read: the text is (size mod 256) - 1 bytes.
    TagCase{"Frame256GivesNothing", OneFrame("TIT2", std::string(255, 'a')), {}},
    TagCase{"Frame300Gives43", OneFrame("TIT2", std::string(299, 'a')), {.Title = std::string(43, 'a')}},
    // Texts in each encoding a tag may name.
    TagCase{"Utf16WithoutMark", OneFrame("TIT2", "H\0i\0\0\0"s, 1), {.Title = "Hi"}},
    TagCase{"Utf16SurrogatePair", OneFrame("TIT2", "\xFF\xFE\x3D\xD8\x00\xDE"s, 1), {.Title = "\U0001F600"}},
    TagCase{"Utf16BigEndian", OneFrame("TIT2", "\x04\x1A\0a"s, 2, 4), {.Title = "\u041Aa"}},
    TagCase{"Utf8", OneFrame("TIT2", "Bj\xC3\xB6rk \xE6\x9D\xB1", 3, 4), {.Title = "Bj\u00F6rk \u6771"}},
    // 300 bytes, of which 43 are read: "\u00E9", 40 letters and the first byte of "\u6771".
    TagCase{"Utf8CutInsideACharacter", OneFrame("TIT2", "\u00E9" + std::string(40, 'a') + "\u6771" + std::string(254, 'b'), 3),
            {.Title = "\u00E9" + std::string(40, 'a')}},
    TagCase{"Utf8ThatIsLatin1", OneFrame("TIT2", "Caf\xE9", 3, 4), {.Title = "Caf\u00E9"}},
    TagCase{"V24ValuesJoined", OneFrame("TPE1", "A\0\0B\0"s, 3, 4), {.Artist = "A/B"}},
    TagCase{"V24Utf16ValuesEachMarked", OneFrame("TPE1", "\xFF\xFE" "A\0\0\0\xFE\xFF\0B"s, 1, 4), {.Artist = "A/B"}},
    TagCase{"Utf16CommentAfterDescription", OneFrame("COMM", "eng\xFF\xFE\0\x01\0\0\xFF\xFEN\0o\0"s, 1), {.Comment = "No"}},
    TagCase{"QuotesKeptZerosBecomeBlanks", TagFile(3, Frame("TIT2", "Say \"Hi\"") + Frame("TPE1", " A\0B\0\0"s)),
            {.Title = "Say \"Hi\"", .Artist = "A B"}},
    TagCase{"GenreNumberAloneIsLookedUp", OneFrame("TCON", "(52)\0"s, 3, 4), {.Genre = "Electronic"}},
    TagCase{"GenreNumberPastTheList", OneFrame("TCON", "(148)"), {}},
    TagCase{"GenreNameAfterNumber", OneFrame("TCON", "(17)  Hard Rock "), {.Genre = "Hard Rock"}},
    TagCase{"CommentAfterDescription", OneFrame("COMM", "engNotes\0Nice\0one\0"s), {.Comment = "Nice one"}},
    // Each claims exactly its one frame of 16 bytes.
    TagCase{"MajorVersion5", Header(5, "\0\0\0\x10"s) + Frame("TIT2", "Title"), {}},
    // 23 bytes of file: a claim of 24 is refused; a claim of 23 reads what follows the header,
    // where the frame claims five bytes of text and two are left.
    TagCase{"ClaimBeyondTheFile", Header(3, "\0\0\0\x18"s) + "TIT2\0\0\0\x06\0\0\0He"s, {}},
    TagCase{"ClaimOfTheFileLength", Header(3, "\0\0\0\x17"s) + "TIT2\0\0\0\x06\0\0\0He"s, {.Title = "He"}},
    // Digits 0 0 1 0x80 make 128 + 128 = 256: taken whole, the body reaches the frame at 200;
    // masked to seven bits it would stop at 128.
    TagCase{"SizeDigitsTakenWhole",
            Header(3, "\0\0\x01\x80"s) + std::string(200, '\0') + Frame("TIT2", "Far") + std::string(142, 0), {.Title = "Far"}}),
    test::RowName());

// FLAC and Ogg Vorbis keep a comment under COMMENT or DESCRIPTION; with both, COMMENT's text is
// the comment.
TEST(SourceTags, VorbisCommentsPreferCommentOverDescription)
{
    test::TempDir dir;
    for (const char* name : {"s.flac", "s.ogg"}) {
        ASSERT_EQ(test::RunCaptured("sox", {"-n", "--add-comment", "DESCRIPTION=d", "--add-comment", "COMMENT=c",
                                            dir.File(name), "synth", "0.1", "sine", "440"}).exitCode, 0);
        EXPECT_EQ(ReadSourceTagSets(dir.File(name)).V2, Id3TagSet{.Comment = "c"}) << name;
    }
}

// A missing file, a folder, and a tag whose claimed size passes the limit in a (sparse) file long
// enough to hold it: the limit is checked before anything is read.
TEST(Id3Readers, FilesWithoutAUsableTagGiveTheEmptySetQuietly)
{
    test::TempDir dir;
    test::RecordingHost host;
    const std::string huge = dir.File("huge.mp3");
    test::WriteText(huge, Header(3, "\x80\0\0\0"s) + Frame("TIT2", "Title"));
    std::filesystem::resize_file(huge, (uintmax_t{1} << 28) + 10);
    for (const std::string& path : {dir.File("missing.mp3"), dir.Path().string(), huge}) {
        EXPECT_EQ(std::pair(GetId3v1(path, host), GetId3v2(path, host)), std::pair(Id3TagSet{}, Id3TagSet{})) << path;
    }
    EXPECT_TRUE(host.errorBoxes.empty() && host.lines.empty());
}

}  // namespace
}  // namespace varnook
