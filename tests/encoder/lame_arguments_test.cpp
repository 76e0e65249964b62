#include "encoder/lame_arguments.h"

#include <gtest/gtest.h>

#include "control/run_settings.h"
#include "support/param_name.h"

namespace varnook {
namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string text;
    Words words;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitArgumentsTable : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTable, SplitsAtBlanksOutsideQuotes)
{
    EXPECT_EQ(SplitArguments(GetParam().text), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SplitArgumentsTable,
    testing::Values(SplitCase{"Empty", "", {}},
                    SplitCase{"BlanksOnly", "  \t ", {}},
                    SplitCase{"OneWord", "-h", {"-h"}},
                    SplitCase{"RunsOfBlanks", "  -b   192\t-q 2 ", {"-b", "192", "-q", "2"}},
                    SplitCase{"QuotesGroup", "--preset \"insane mode\" -h", {"--preset", "insane mode", "-h"}},
                    SplitCase{"QuoteInsideWord", "--tc=\"a b\"c", {"--tc=a bc"}},
                    SplitCase{"EmptyQuotesAreAWord", "--tc \"\"", {"--tc", ""}},
                    SplitCase{"UnclosedQuoteRunsToTheEnd", "-x \"a b", {"-x", "a b"}}),
    test::RowName());

Id3TagSet FullSet(const std::string& prefix)
{
    return {prefix + "title", prefix + "artist", prefix + "album", prefix + "year",
            prefix + "comment", prefix + "genre", prefix + "track"};
}

constexpr std::array<bool, 7> kAllTags{true, true, true, true, true, true, true};

TEST(LameArguments, DecodeNeverCarriesTags)
{
    EXPECT_EQ(LameArguments(kAllTags, FullSet("v2 "), FullSet("v1 "), "--decode", "/in.mp3", "/o/mp3.tmp"),
              (Words{"--decode", "/in.mp3", "/o/mp3.tmp"}));
}

TEST(LameArguments, TagsComeFirstInTheirFixedOrder)
{
    EXPECT_EQ(LameArguments(kAllTags, FullSet(""), {}, "-h", "in.wav", "mp3.tmp"),
              (Words{"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors",
                     "--tt", "title", "--ta", "artist", "--tl", "album", "--ty", "year",
                     "--tn", "track", "--tg", "genre", "--tc", "comment",
                     "-h", "in.wav", "mp3.tmp"}));
}

TEST(LameArguments, VersionTwoWinsAndVersionOneFillsGaps)
{
    Id3TagSet v2;
    v2.Title = "Title 2";
    Id3TagSet v1;
    v1.Title = "Title 1";
    v1.Artist = "Artist 1";
    EXPECT_EQ(LameArguments(kAllTags, v2, v1, "-h", "a", "b"),
              (Words{"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors",
                     "--tt", "Title 2", "--ta", "Artist 1", "-h", "a", "b"}));
}

TEST(LameArguments, KeepTagLeavesFieldsOutAndNoTagsMeansNoId3Options)
{
    std::array<bool, 7> onlyComment{};
    onlyComment[kTagComment] = true;
    EXPECT_EQ(LameArguments(onlyComment, FullSet(""), {}, "-h", "a", "b"),
              (Words{"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors", "--tc", "comment", "-h", "a", "b"}));

    const std::array<bool, 7> none{};
    EXPECT_EQ(LameArguments(none, FullSet(""), FullSet(""), "-h", "a", "b"), (Words{"-h", "a", "b"}));
    // Selected but empty in both sets: nothing to carry.
    EXPECT_EQ(LameArguments(kAllTags, {}, {}, "-b 192", "a", "b"), (Words{"-b", "192", "a", "b"}));
}

TEST(LameArguments, TextsAndPathsStayWholeWhateverTheyHold)
{
    Id3TagSet v2;
    v2.Title = "Say \"Hi\"  -- now";
    const Words args = LameArguments(kAllTags, v2, {}, "", "/My Music/\"odd\" Øre.wav", "/Out dir/mp3.tmp");
    EXPECT_EQ(args, (Words{"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors", "--tt", "Say \"Hi\"  -- now",
                           "/My Music/\"odd\" Øre.wav", "/Out dir/mp3.tmp"}));
}

}  // namespace
}  // namespace varnook
