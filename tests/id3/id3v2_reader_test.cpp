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

Bytes Join(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes ToBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// A text frame. Four-letter identifiers get the 2.3/2.4 header (four size bytes, status flags 0,
// then `formatFlags`), three-letter ones the 2.2 header (three size bytes, no flags).
Bytes Frame(const std::string& id, const std::string& text, uint8_t formatFlags = 0,
            char encoding = 0)
{
    const std::string data = encoding + text;
    const auto size = static_cast<uint32_t>(data.size());
    Bytes frame = ToBytes(id);
    for (int shift = id.size() == 3 ? 16 : 24; shift >= 0; shift -= 8)
        frame.push_back(static_cast<uint8_t>(size >> shift));
    if (id.size() == 4) frame.insert(frame.end(), {0, formatFlags});
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

Bytes Header(uint8_t major, std::array<uint8_t, 4> sizeDigits)
{
    return {'I', 'D', '3', major, 0, 0, sizeDigits[0], sizeDigits[1], sizeDigits[2], sizeDigits[3]};
}

// A tag of seven-bit size digits with padding after the frames, then stand-in audio.
Bytes TagFile(uint8_t major, const std::vector<Bytes>& frames)
{
    Bytes body = Join(frames);
    body.resize(body.size() + 64, 0);
    std::array<uint8_t, 4> digits{};
    for (size_t i = 0; i < 4; ++i) digits[i] = static_cast<uint8_t>((body.size() >> (21 - 7 * i)) & 0x7F);
    return Join({Header(major, digits), body, Bytes(500, 0xAA)});
}

Bytes OneFrame(const std::string& id, const std::string& text)
{
    return TagFile(3, {Frame(id, text)});
}

std::string Letters(size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) text += static_cast<char>('a' + i % 26);
    return text;
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
    EXPECT_EQ(test::ReadTagsFromBytes(GetParam().file, GetId3v2), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Id3v2Tags,
    testing::Values(
        TagCase{"V23AllFields",
                TagFile(3, {Frame("TIT2", "Title"), Frame("TPE1", "Artist"), Frame("TALB", "Album"),
                            Frame("TYER", "1999"), Frame("COMM", "eng\0Comment"s), Frame("TCON", "Jazz"),
                            Frame("TRCK", "3/12")}),
                {"Title", "Artist", "Album", "1999", "Comment", "Jazz", "3/12"}},
        // 2.2 frames have no flag bytes: where a 2.3 frame keeps its format flags, this one has
        // the "t" of "Title", which must not empty the field.
        TagCase{"V22ThreeLetterIdsAndSixByteHeaders",
                TagFile(2, {Frame("TT2", "Title"), Frame("TP1", "Artist"), Frame("TAL", "Album"),
                            Frame("TYE", "1999"), Frame("COM", "eng\0Comment"s), Frame("TCO", "Jazz"),
                            Frame("TRK", "3")}),
                {"Title", "Artist", "Album", "1999", "Comment", "Jazz", "3"}},
        TagCase{"V24YearFromTdrc", TagFile(4, {Frame("TYER", "1970"), Frame("TDRC", "2002")}),
                {.Year = "2002"}},
        TagCase{"V23YearFromTyer", TagFile(3, {Frame("TDRC", "2002"), Frame("TYER", "1970")}),
                {.Year = "1970"}},
        TagCase{"CompressedFrameIsSkipped",
                TagFile(3, {Frame("TIT2", "Title", 0x80), Frame("TPE1", "Artist")}), {.Artist = "Artist"}},
        // The identifier is found first inside another frame's data, and that copy is read.
        TagCase{"FirstOccurrenceAnywhereWins",
                TagFile(3, {Frame("TXXX", "x\0TIT2\0\0\0\x05\0\0\0Copy"s), Frame("TIT2", "Real")}),
                {.Title = "Copy"}},
        // Only the lowest size byte is read: the text is (size mod 256) - 1 bytes.
        TagCase{"Frame255Gives254", OneFrame("TIT2", Letters(254)), {.Title = Letters(254)}},
        TagCase{"Frame256GivesNothing", OneFrame("TIT2", Letters(255)), {}},
        TagCase{"Frame257GivesNothing", OneFrame("TIT2", Letters(256)), {}},
        TagCase{"Frame300Gives43", OneFrame("TIT2", Letters(299)), {.Title = Letters(43)}},
        TagCase{"Utf16BytesAreNotDecoded", TagFile(3, {Frame("TIT2", "\xFF\xFEH\0i\0"s, 0, 1)}),
                {.Title = "\u00FF\u00FEH i"}},
        TagCase{"QuotesAndZerosBecomeBlanks",
                TagFile(3, {Frame("TIT2", "Say \"Hi\""), Frame("TPE1", " A\0B\0\0"s)}),
                {.Title = "Say  Hi", .Artist = "A B"}},
        TagCase{"GenreNumberAloneIsNotLookedUp", OneFrame("TCON", "(17)"), {}},
        TagCase{"GenreNameAfterNumber", OneFrame("TCON", "(17)  Hard Rock "), {.Genre = "Hard Rock"}},
        TagCase{"GenreFirstCloseCounts", OneFrame("TCON", "(17)(79)Rock"), {.Genre = "(79)Rock"}},
        TagCase{"GenreUnclosedStays", OneFrame("TCON", "(Rock"), {.Genre = "(Rock"}},
        TagCase{"CommentAfterDescription", OneFrame("COMM", "engNotes\0Nice\0one\0"s),
                {.Comment = "Nice one"}},
        TagCase{"CommentWithoutZeroKeepsAll", OneFrame("COMM", "engNice one"), {.Comment = "engNice one"}},
        TagCase{"NoVersion2TagEvenWithVersion1Tag",
                Join({Bytes(500, 0xAA), ToBytes("TAG"), Bytes(125, 'x')}), {}},
        TagCase{"MajorVersion5", Join({Header(5, {0, 0, 0, 64}), Frame("TIT2", "Title"), Bytes(64)}), {}},
        TagCase{"LowerCaseMarker", [] { Bytes f = OneFrame("TIT2", "Title"); f[0] = 'i'; return f; }(), {}},
        TagCase{"EmptyBody", Join({Header(3, {0, 0, 0, 0}), Frame("TIT2", "Title")}), {}},
        TagCase{"ShorterThanAHeader", ToBytes("ID3\x03\0\0"s), {}},
        // 23 bytes of file: a claim of 24 is refused, a claim of 23 reads what follows the header.
        TagCase{"ClaimBeyondTheFile", Join({Header(3, {0, 0, 0, 24}), Frame("TIT2", "Ti")}), {}},
        TagCase{"ClaimOfTheFileLength", Join({Header(3, {0, 0, 0, 23}), Frame("TIT2", "Ti")}),
                {.Title = "Ti"}},
        // Digits 0 0 1 0x80 make 128 + 128 = 256: taken whole, the body reaches the frame at 200;
        // masked to seven bits it would stop at 128.
        TagCase{"SizeDigitsTakenWhole",
                Join({Header(3, {0, 0, 1, 0x80}), Bytes(200, 0), Frame("TIT2", "Far"), Bytes(142, 0xAA)}),
                {.Title = "Far"}}),
    [](const testing::TestParamInfo<TagCase>& info) { return info.param.name; });

// Frames cut off by the end of the body. Each body is a vector of its exact size, so a
// sanitizer build sees any read past it.
TEST(FrameText, FramesCutOffByTheEndOfTheBody)
{
    const Id3v2Layout v3 = *Id3v2LayoutFor(3);
    const Id3v2Layout v2 = *Id3v2LayoutFor(2);
    EXPECT_EQ(FrameText(ToBytes("TIT2"), "TIT2", v3), "") << "identifier as the last bytes";
    EXPECT_EQ(FrameText(ToBytes("xTT2"), "TT2", v2), "");
    EXPECT_EQ(FrameText(ToBytes("TIT2\0\0\0\x06"s), "TIT2", v3), "") << "flags cut off";
    EXPECT_EQ(FrameText(ToBytes("TIT2\0\0\0\x06\0\0\0"s), "TIT2", v3), "") << "text cut off";
    EXPECT_EQ(FrameText(ToBytes("TIT2\0\0\0\x06\0\0\0He"s), "TIT2", v3), "He") << "text shortened";
    EXPECT_EQ(FrameText(ToBytes("TIT"), "TIT2", v3), "") << "a part of the identifier";
}

// Random bodies of frame headers and the bytes the cleaning treats specially: whatever is found
// comes out clean, and (in a sanitizer build) nothing is read outside the body.
TEST(FrameText, RandomBodiesGiveCleanTexts)
{
    std::mt19937 random(4242);
    const std::vector<std::string> pieces = {"TIT2\0\0\0\x20\0\0"s, "TT2\0\0\x20"s, "TIT2", "\0"s, "\"",
                                             " ", "\xE9"};
    int texts = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string body;
        for (size_t i = random() % 16; i > 0; --i)
            body += random() % 2 == 0 ? pieces[random() % pieces.size()]
                                      : std::string(1, static_cast<char>(random()));
        for (const uint8_t major : {2, 3, 4}) {
            const Id3v2Layout layout = *Id3v2LayoutFor(major);
            const std::string text = FrameText(ToBytes(body), layout.Title, layout);
            if (text.empty()) continue;
            ++texts;
            ASSERT_LE(text.size(), 2u * 254u);
            EXPECT_EQ(text.find_first_of("\"\0"s), std::string::npos) << text;
            EXPECT_TRUE(text.front() != ' ' && text.back() != ' ') << text;
        }
    }
    EXPECT_GT(texts, 500) << "too few bodies held a readable frame to test the cleaning";
}

TEST(Id3v2Reader, SizeLimitIsCheckedBeforeReading)
{
    test::TempDir dir;
    const std::string path = dir.File("huge.mp3");
    // A sparse file long enough for a 2^28-byte body: only the limit can refuse it.
    test::WriteAllBytes(path, Join({Header(3, {0x80, 0, 0, 0}), Frame("TIT2", "Title")}));
    std::filesystem::resize_file(path, (uintmax_t{1} << 28) + 10);
    EXPECT_EQ(GetId3v2(path), Id3TagSet{});
    // The largest size the digits can claim, in a small file.
    test::WriteAllBytes(path, Join({Header(3, {0xFF, 0xFF, 0xFF, 0xFF}), Frame("TIT2", "Title")}));
    EXPECT_EQ(GetId3v2(path), Id3TagSet{});
}

TEST(Id3v2Reader, FileErrorsGiveTheEmptySetQuietly)
{
    test::TempDir dir;
    test::RecordingHost host;
    EXPECT_EQ(GetId3v2(dir.File("missing.mp3"), host), Id3TagSet{});
    EXPECT_EQ(GetId3v2(dir.Path().string(), host), Id3TagSet{}) << "a folder";
    EXPECT_TRUE(host.errorBoxes.empty() && host.lines.empty());
}

// Runs in the death test's child: room for what the process holds now plus 64 MiB, not for the
// 256 MiB body `path` claims.
[[noreturn]] void ReadWithLimitedMemory(const std::string& path)
{
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t bytes =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{64} << 20);
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_AS, &limit);
    test::RecordingHost host;
    bool raised = false;
    try {
        GetId3v2(path, host);
    } catch (const std::bad_alloc&) {
        raised = true;
    }
    const bool boxed =
        host.errorBoxes == std::vector<std::string>{"'GetId3v2' Error Number: 7\r\nOut of memory"};
    std::_Exit(raised && boxed ? 0 : 1);
}

// Running out of memory for a large body is the one error a reader meets that is not a file
// error: it shows the box named after the reader and goes on to the caller.
TEST(Id3v2ReaderDeathTest, OutOfMemoryShowsTheBoxAndIsRaisedAgain)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot work under AddressSanitizer";
#endif
    test::TempDir dir;
    const std::string path = dir.File("large.mp3");
    test::WriteAllBytes(path, Join({Header(3, {0x7F, 0x7F, 0x7F, 0x7F}), Frame("TIT2", "Title")}));
    std::filesystem::resize_file(path, uintmax_t{1} << 28);
    EXPECT_EXIT(ReadWithLimitedMemory(path), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace varnook
