// ID3v2 texts in each encoding a tag may name, read from a tag in memory as a WAV "id3 " chunk
// holds it.
#include <gtest/gtest.h>

#include "id3/id3_reader.h"
#include "support/param_name.h"
#include "support/tag_sets.h"

namespace varnook {
namespace {

using namespace std::string_literals;

// A 2.3/2.4 tag of one frame: encoding byte, then `payload`. Sizes stay below 128 except where
// a row wants the reader's cut at (size mod 256) - 1 bytes.
std::vector<uint8_t> OneFrameTag(uint8_t major, const std::string& id, char encoding,
                                 const std::string& payload)
{
    const std::string data = encoding + payload;
    const auto size = static_cast<uint32_t>(data.size());
    std::string tag = id + char(size >> 24) + char(size >> 16) + char(size >> 8) + char(size);
    tag += "\0\0"s + data;
    const auto body = static_cast<uint32_t>(tag.size());
    tag = "ID3"s + char(major) + "\0\0\0\0"s + char(body >> 7) + char(body & 0x7F) + tag;
    return {tag.begin(), tag.end()};
}

struct EncodingCase {
    std::string name;
    std::vector<uint8_t> tag;
    Id3TagSet expected;
};
void PrintTo(const EncodingCase& row, std::ostream* os) { *os << row.name; }

class TagEncodings : public testing::TestWithParam<EncodingCase> {};

TEST_P(TagEncodings, DecodeToUtf8)
{
    EXPECT_EQ(Id3v2FromBytes(GetParam().tag), GetParam().expected);
}

// 43 bytes are read: "é", 40 letters and the first byte of a three-byte character.
const std::string kCut = "\u00E9" + std::string(40, 'a') + "\u6771" + std::string(254, 'b');

INSTANTIATE_TEST_SUITE_P(
    Rows, TagEncodings,
    testing::Values(
        EncodingCase{"Utf16LittleEndianMark", OneFrameTag(3, "TIT2", 1, "\xFF\xFEH\0i\0"s), {.Title = "Hi"}},
        EncodingCase{"Utf16BigEndianMark", OneFrameTag(3, "TIT2", 1, "\xFE\xFF\0H\0i"s), {.Title = "Hi"}},
        EncodingCase{"Utf16WithoutMark", OneFrameTag(3, "TIT2", 1, "H\0i\0\0\0"s), {.Title = "Hi"}},
        EncodingCase{"Utf16SurrogatePair", OneFrameTag(3, "TIT2", 1, "\xFF\xFE\x3D\xD8\x00\xDE"s),
                     {.Title = "\U0001F600"}},
        EncodingCase{"Utf16LoneSurrogate", OneFrameTag(3, "TIT2", 1, "\xFF\xFE\x3D\xD8" "A\0"s),
                     {.Title = "\uFFFDA"}},
        EncodingCase{"Utf16OddLastByte", OneFrameTag(3, "TIT2", 1, "\xFF\xFEH\0i"s), {.Title = "H"}},
        EncodingCase{"Utf16BigEndian", OneFrameTag(4, "TIT2", 2, "\x04\x1A\0a"s), {.Title = "\u041Aa"}},
        EncodingCase{"Utf8", OneFrameTag(4, "TIT2", 3, "Bj\xC3\xB6rk \xE6\x9D\xB1"),
                     {.Title = "Bj\u00F6rk \u6771"}},
        EncodingCase{"Utf8CutInsideACharacter", OneFrameTag(3, "TIT2", 3, kCut),
                     {.Title = "\u00E9" + std::string(40, 'a')}},
        EncodingCase{"Utf8ThatIsLatin1", OneFrameTag(4, "TIT2", 3, "Caf\xE9"), {.Title = "Caf\u00E9"}},
        EncodingCase{"UnknownEncodingIsLatin1", OneFrameTag(3, "TIT2", 7, "Caf\xE9"), {.Title = "Caf\u00E9"}},
        EncodingCase{"V24ValuesJoined", OneFrameTag(4, "TPE1", 3, "A\0\0B\0"s), {.Artist = "A/B"}},
        EncodingCase{"V24Utf16ValuesEachMarked", OneFrameTag(4, "TPE1", 1, "\xFF\xFE" "A\0\0\0\xFE\xFF\0B"s),
                     {.Artist = "A/B"}},
        EncodingCase{"V23ZeroBetweenIsBlank", OneFrameTag(3, "TPE1", 0, "A\0B"s), {.Artist = "A B"}},
        EncodingCase{"Utf16CommentAfterDescription",
                     OneFrameTag(3, "COMM", 1, "eng\xFF\xFE\0\x01\0\0\xFF\xFEN\0o\0"s), {.Comment = "No"}},
        EncodingCase{"Utf16CommentWithoutText", OneFrameTag(3, "COMM", 1, "eng\xFF\xFEx\0"s), {}}),
    test::RowName());

}  // namespace
}  // namespace varnook
