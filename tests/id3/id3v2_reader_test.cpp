#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "id3/id3_reader.h"
#include "id3/id3v2_frames.h"
#include "support/recording_host.h"
#include "support/tag_sets.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// A 2.3/2.4 frame: identifier, big-endian size, status flags 0, then the format flags.
// `data` starts with the encoding byte.
Bytes Frame(const std::string& id, const std::string& data, uint8_t formatFlags = 0)
{
    const auto size = static_cast<uint32_t>(data.size());
    Bytes frame = ToBytes(id);
    for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(size >> shift));
    frame.push_back(0);
    frame.push_back(formatFlags);
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

// A 2.2 frame: three-letter identifier, three-byte size, no flags.
Bytes Frame22(const std::string& id, const std::string& data)
{
    const auto size = static_cast<uint32_t>(data.size());
    Bytes frame = ToBytes(id);
    for (int shift = 16; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(size >> shift));
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

// A text frame's data: encoding byte 0 (Latin-1), then the text.
std::string Text(const std::string& text)
{
    return "\0"s + text;
}

Bytes Join(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The four size digits of the header, seven bits each.
std::array<uint8_t, 4> SizeDigits(uint32_t size)
{
    return {static_cast<uint8_t>((size >> 21) & 0x7F), static_cast<uint8_t>((size >> 14) & 0x7F),
            static_cast<uint8_t>((size >> 7) & 0x7F), static_cast<uint8_t>(size & 0x7F)};
}

Bytes Header(uint8_t major, std::array<uint8_t, 4> sizeDigits)
{
    return {'I', 'D', '3', major, 0, 0, sizeDigits[0], sizeDigits[1], sizeDigits[2], sizeDigits[3]};
}

// A tag with padding after the frames and some stand-in audio after the tag.
Bytes TagFile(uint8_t major, const std::vector<Bytes>& frames)
{
    Bytes body = Join(frames);
    body.resize(body.size() + 64, 0);
    Bytes file = Join({Header(major, SizeDigits(static_cast<uint32_t>(body.size()))), body});
    file.resize(file.size() + 500, 0xAA);
    return file;
}

Id3TagSet ReadV2(const Bytes& bytes)
{
    return test::ReadTagsFromBytes(bytes, GetId3v2);
}

struct TagCase {
    friend void PrintTo(const TagCase& c, std::ostream* os) { *os << c.name; }
    std::string name;
    Bytes file;
    Id3TagSet expected;
};

class Id3v2Tags : public testing::TestWithParam<TagCase> {};

TEST_P(Id3v2Tags, ReadBack)
{
    EXPECT_EQ(ReadV2(GetParam().file), GetParam().expected);
}

const std::string kUtf16Hi = "\x01\xFF\xFEH\0i\0"s;

INSTANTIATE_TEST_SUITE_P(
    Frames, Id3v2Tags,
    testing::Values(
        TagCase{"V23TitleOfFiveLetters", TagFile(3, {Frame("TIT2", Text("Hello"))}), {.Title = "Hello"}},
        TagCase{"V23AllFields",
                TagFile(3, {Frame("TIT2", Text("Title")), Frame("TPE1", Text("Artist")),
                            Frame("TALB", Text("Album")), Frame("TYER", Text("1999")),
                            Frame("COMM", Text("eng\0Comment"s)), Frame("TCON", Text("Jazz")),
                            Frame("TRCK", Text("3/12"))}),
                {"Title", "Artist", "Album", "1999", "Comment", "Jazz", "3/12"}},
        // 2.2 frames have no flag bytes: the byte where a 2.3 frame keeps its format flags is
        // text here ("t" of "Title") and must not empty the field.
        TagCase{"V22ThreeLetterIdsAndSixByteHeaders",
                TagFile(2, {Frame22("TT2", Text("Title")), Frame22("TP1", Text("Artist")),
                            Frame22("TAL", Text("Album")), Frame22("TYE", Text("1999")),
                            Frame22("COM", Text("eng\0Comment"s)), Frame22("TCO", Text("Jazz")),
                            Frame22("TRK", Text("3"))}),
                {"Title", "Artist", "Album", "1999", "Comment", "Jazz", "3"}},
        TagCase{"V24YearFromTdrc",
                TagFile(4, {Frame("TYER", Text("1970")), Frame("TDRC", Text("2002"))}), {.Year = "2002"}},
        TagCase{"V23YearFromTyer",
                TagFile(3, {Frame("TDRC", Text("2002")), Frame("TYER", Text("1970"))}), {.Year = "1970"}},
        TagCase{"CompressedFrameIsSkipped",
                TagFile(3, {Frame("TIT2", Text("Title"), 0x80), Frame("TPE1", Text("Artist"))}),
                {.Artist = "Artist"}},
        TagCase{"StatusFlagsDoNotMatter",
                TagFile(4, {Bytes{'T', 'I', 'T', '2', 0, 0, 0, 6, 0x40, 0, 0, 'T', 'i', 't', 'l', 'e'}}),
                {.Title = "Title"}},
        // The identifier is found first inside another frame's data, and that copy is read.
        TagCase{"FirstOccurrenceAnywhereWins",
                TagFile(3, {Frame("TXXX", Text("x\0"s) + "TIT2\0\0\0\x05\0\0\0Copy"s),
                            Frame("TIT2", Text("Real"))}),
                {.Title = "Copy"}},
        TagCase{"Utf16BytesAreNotDecoded", TagFile(3, {Frame("TIT2", kUtf16Hi)}),
                {.Title = "\u00FF\u00FEH i"}},
        TagCase{"Latin1ByteBecomesOneCharacter", TagFile(3, {Frame("TIT2", Text("Caf\xE9"))}),
                {.Title = "Caf\u00E9"}},
        TagCase{"QuotesAndZerosBecomeBlanks",
                TagFile(3, {Frame("TIT2", Text("Say \"Hi\"")), Frame("TPE1", Text(" A\0B\0\0"s))}),
                {.Title = "Say  Hi", .Artist = "A B"}},
        TagCase{"NoVersion2TagEvenWithVersion1Tag",
                Join({Bytes(500, 0xAA), ToBytes("TAG"), Bytes(125, 'x')}), {}},
        TagCase{"MajorVersion5", Join({Header(5, SizeDigits(64)), Frame("TIT2", Text("Title")), Bytes(64)}),
                {}},
        TagCase{"MajorVersion1", Join({Header(1, SizeDigits(64)), Frame("TIT2", Text("Title")), Bytes(64)}),
                {}},
        TagCase{"LowerCaseMarker", [] {
                    Bytes file = TagFile(3, {Frame("TIT2", Text("Title"))});
                    file[0] = 'i';
                    return file;
                }(), {}},
        TagCase{"EmptyBody", Join({Header(3, SizeDigits(0)), Frame("TIT2", Text("Title"))}), {}},
        TagCase{"ShorterThanAHeader", ToBytes("ID3\x03\0\0"s), {}},
        // 18 bytes of file; a claim of 19 is more than the file holds.
        TagCase{"ClaimsMoreThanTheFileHolds", Join({Header(3, SizeDigits(19)), Bytes{'T', 'I', 'T', '2', 0, 0, 0, 2}}),
                {}},
        // A claim up to the file's length passes; the body is what the file holds after the header.
        TagCase{"ClaimOfTheFileLengthReadsWhatIsThere",
                Join({Header(3, SizeDigits(20)), Frame("TIT2", Text("Ti"))}), {.Title = "Ti"}},
        // Digits 0 0 1 0x80 make 128 + 128 = 256: taken whole, the body reaches the frame at 200;
        // masked to seven bits it would stop at 128.
        TagCase{"SizeDigitsTakenWhole",
                Join({Header(3, {0, 0, 1, 0x80}), Bytes(200, 0), Frame("TIT2", Text("Far")),
                      Bytes(42, 0), Bytes(100, 0xAA)}),
                {.Title = "Far"}}),
    [](const testing::TestParamInfo<TagCase>& info) { return info.param.name; });

// Only the lowest byte of a frame's size is read: the text is (size mod 256) - 1 bytes.
struct SizeCase {
    friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }
    std::string name;
    size_t frameSize;  // encoding byte included
    size_t textLength;
};

class Id3v2FrameSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(Id3v2FrameSizes, LowestSizeByteGivesTheLength)
{
    std::string text;
    for (size_t i = 0; i + 1 < GetParam().frameSize; ++i) text += static_cast<char>('a' + i % 26);
    const Id3TagSet set = ReadV2(TagFile(3, {Frame("TIT2", Text(text)), Frame("TPE1", Text("Artist"))}));
    EXPECT_EQ(set.Title, text.substr(0, GetParam().textLength));
    EXPECT_EQ(set.Artist, "Artist");
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, Id3v2FrameSizes,
    testing::Values(SizeCase{"OneCharacter", 2, 1}, SizeCase{"EncodingByteOnly", 1, 0},
                    SizeCase{"Largest", 255, 254}, SizeCase{"Size256", 256, 0},
                    SizeCase{"Size257", 257, 0}, SizeCase{"Size300", 300, 43}),
    [](const testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

// One frame's text through the field's own rule: the genre reference, the comment's language
// and description before its first zero byte.
struct FieldCase {
    friend void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }
    std::string name;
    std::string id;
    std::string data;  // the frame data after the encoding byte
    std::string Id3TagSet::*field;
    std::string expected;
};

class Id3v2FieldTexts : public testing::TestWithParam<FieldCase> {};

TEST_P(Id3v2FieldTexts, ReadBack)
{
    const FieldCase& row = GetParam();
    EXPECT_EQ(ReadV2(TagFile(3, {Frame(row.id, Text(row.data))})).*row.field, row.expected);
}

constexpr auto kGenre = &Id3TagSet::Genre;
constexpr auto kComment = &Id3TagSet::Comment;

INSTANTIATE_TEST_SUITE_P(
    GenresAndComments, Id3v2FieldTexts,
    testing::Values(FieldCase{"GenreNumberAloneIsNotLookedUp", "TCON", "(17)", kGenre, ""},
                    FieldCase{"GenreNameAfterNumber", "TCON", "(17)Rock", kGenre, "Rock"},
                    FieldCase{"GenreBlanksAroundName", "TCON", "(17)  Hard Rock ", kGenre, "Hard Rock"},
                    FieldCase{"GenreUnclosedStays", "TCON", "(Rock", kGenre, "(Rock"},
                    FieldCase{"GenreFirstCloseCounts", "TCON", "(17)(79)Rock", kGenre, "(79)Rock"},
                    FieldCase{"GenrePlainName", "TCON", "Rock", kGenre, "Rock"},
                    FieldCase{"GenrePlainNumber", "TCON", "17", kGenre, "17"},
                    FieldCase{"GenreParenthesisLater", "TCON", "Rock (live)", kGenre, "Rock (live)"},
                    FieldCase{"CommentEmptyDescription", "COMM", "eng\0Nice one"s, kComment, "Nice one"},
                    FieldCase{"CommentWithDescription", "COMM", "engNotes\0Nice one"s, kComment, "Nice one"},
                    FieldCase{"CommentTerminated", "COMM", "eng\0Nice one\0"s, kComment, "Nice one"},
                    FieldCase{"CommentLaterZerosBecomeBlanks", "COMM", "eng\0Nice\0one"s, kComment, "Nice one"},
                    FieldCase{"CommentQuoteBecomesBlank", "COMM", "eng\0\"Nice\" one"s, kComment, "Nice  one"},
                    FieldCase{"CommentWithoutZeroKeepsAll", "COMM", "engNice one", kComment, "engNice one"},
                    FieldCase{"CommentNothingAfterTheZero", "COMM", "eng\0"s, kComment, ""}),
    [](const testing::TestParamInfo<FieldCase>& info) { return info.param.name; });

// Frames cut off by the end of the body: nothing may be read past it.
TEST(FrameText, FramesCutOffByTheEndOfTheBody)
{
    const Id3v2Layout v3 = *Id3v2LayoutFor(3);
    const Id3v2Layout v2 = *Id3v2LayoutFor(2);
    // Each body is its own exact-size vector, so a sanitizer build sees any read past it.
    const auto text = [](const Bytes& body, std::string_view id, const Id3v2Layout& layout) {
        return FrameText(body, id, layout);
    };
    EXPECT_EQ(text(ToBytes("TIT2"), "TIT2", v3), "") << "identifier as the last bytes";
    EXPECT_EQ(text(ToBytes("xTT2"), "TT2", v2), "");
    EXPECT_EQ(text(ToBytes("TIT2\0\0\0\x06"s), "TIT2", v3), "") << "flags cut off";
    EXPECT_EQ(text(ToBytes("TIT2\0\0\0\x06\0\0"s), "TIT2", v3), "") << "encoding byte cut off";
    EXPECT_EQ(text(ToBytes("TIT2\0\0\0\x06\0\0\0"s), "TIT2", v3), "") << "text cut off";
    EXPECT_EQ(text(ToBytes("TIT2\0\0\0\x06\0\0\0He"s), "TIT2", v3), "He") << "text shortened";
    EXPECT_EQ(text(ToBytes("TT2\0\0\x06\0Hello"s), "TT2", v2), "Hello");
    EXPECT_EQ(text(ToBytes("TIT"), "TIT2", v3), "") << "a part of the identifier";
}

// Random bodies made of frame headers, identifiers cut short, and the bytes the cleaning treats
// specially: whatever is found must come out clean, and (in a sanitizer build) nothing may be
// read outside the body.
TEST(FrameText, RandomBodiesGiveCleanTexts)
{
    std::mt19937 random(4242);
    const std::vector<std::string> pieces = {"TIT2\0\0\0\x20\0\0"s, "TT2\0\0\x20"s, "TIT2", "TT2",
                                             "\0"s, "\"", " ", "\xE9"};
    int texts = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes body;
        const size_t pieceCount = random() % 16;
        for (size_t i = 0; i < pieceCount; ++i) {
            if (random() % 2 == 0) {
                const std::string& piece = pieces[random() % pieces.size()];
                body.insert(body.end(), piece.begin(), piece.end());
            } else {
                body.push_back(static_cast<uint8_t>(random()));
            }
        }
        for (const uint8_t major : {2, 3, 4}) {
            const Id3v2Layout layout = *Id3v2LayoutFor(major);
            const std::string text = FrameText(body, layout.Title, layout);
            if (text.empty()) continue;
            ++texts;
            ASSERT_LE(text.size(), 2u * 254u);
            EXPECT_EQ(text.find_first_of("\"\0"s), std::string::npos) << text;
            EXPECT_NE(text.front(), ' ');
            EXPECT_NE(text.back(), ' ');
        }
    }
    EXPECT_GT(texts, 500) << "too few bodies held a readable frame to test the cleaning";
}

TEST(Id3v2Reader, SizeLimitIsCheckedBeforeReading)
{
    test::TempDir dir;
    const std::string path = dir.File("huge.mp3");
    // A sparse file long enough for a 2^28-byte body: only the limit can refuse it.
    test::WriteAllBytes(path, Join({Header(3, {0x80, 0, 0, 0}), Frame("TIT2", Text("Title"))}));
    std::filesystem::resize_file(path, (uintmax_t{1} << 28) + 10);
    EXPECT_EQ(GetId3v2(path), Id3TagSet{});

    // The largest size the digits can claim, in a small file.
    test::WriteAllBytes(path, Join({Header(3, {0xFF, 0xFF, 0xFF, 0xFF}), Frame("TIT2", Text("Title"))}));
    EXPECT_EQ(GetId3v2(path), Id3TagSet{});
}

TEST(Id3v2Reader, FileErrorsGiveTheEmptySetQuietly)
{
    test::TempDir dir;
    test::RecordingHost host;
    EXPECT_EQ(GetId3v2(dir.File("missing.mp3"), host), Id3TagSet{});
    EXPECT_EQ(GetId3v2(dir.Path().string(), host), Id3TagSet{}) << "a folder";
    EXPECT_TRUE(host.errorBoxes.empty());
    EXPECT_TRUE(host.lines.empty());
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressLimitWorks = false;  // the sanitizer reserves far more than any limit
#else
constexpr bool kAddressLimitWorks = true;
#endif

// Runs in the death test's child: reads `path` with too little address space for its body.
[[noreturn]] void ReadWithLimitedMemory(const std::string& path)
{
    // Room for what the process holds now plus 64 MiB: not for a 256 MiB body.
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const auto now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    const rlimit limit{now + (rlim_t{64} << 20), now + (rlim_t{64} << 20)};
    ::setrlimit(RLIMIT_AS, &limit);
    test::RecordingHost host;
    bool raised = false;
    try {
        GetId3v2(path, host);
    } catch (const std::bad_alloc&) {
        raised = true;
    }
    const bool boxed = host.errorBoxes.size() == 1 &&
                       host.errorBoxes[0] == "'GetId3v2' Error Number: 7\r\nOut of memory";
    std::_Exit(raised && boxed ? 0 : 1);
}

// The only error a reader meets that is not a file error is running out of memory for a large
// body; it shows the box named after the reader and goes on to the caller.
TEST(Id3v2ReaderDeathTest, OutOfMemoryShowsTheBoxAndIsRaisedAgain)
{
    if (!kAddressLimitWorks) GTEST_SKIP() << "an address-space limit cannot work under AddressSanitizer";
    test::TempDir dir;
    const std::string path = dir.File("large.mp3");
    test::WriteAllBytes(path, Join({Header(3, {0x7F, 0x7F, 0x7F, 0x7F}), Frame("TIT2", Text("Title"))}));
    std::filesystem::resize_file(path, uintmax_t{1} << 28);

    EXPECT_EXIT(ReadWithLimitedMemory(path), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace varnook
