#include "encoder/lame_arguments.h"

#include <gtest/gtest.h>

#include "base/run_settings.h"

namespace varnook {
namespace {

using Words = std::vector<std::string>;

TEST(SplitArguments, SplitsAtBlanksOutsideQuotes)
{
    for (const auto& [text, words] : std::vector<std::pair<std::string, Words>>{
             {"  \t ", {}},
             {"  -b   192\t-q 2 ", {"-b", "192", "-q", "2"}},
             {"--preset \"insane mode\" -h", {"--preset", "insane mode", "-h"}},
             {"--tc=\"a b\"c", {"--tc=a bc"}},
             {"--tc \"\"", {"--tc", ""}},
             {"-x \"a b", {"-x", "a b"}}})  // an unclosed quote runs to the end
        EXPECT_EQ(SplitArguments(text), words) << text;
}

const Words kTagOptions{"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors"};

Words With(Words head, const Words& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(LameArguments, TagsComeFirstInTheirFixedOrderVersionTwoFirst)
{
    const Id3TagSet full{"title", "artist", "album", "year", "comment", "genre", "track"};
    std::array<bool, 7> keep{};
    keep.fill(true);
    EXPECT_EQ(LameArguments(keep, full, {}, "-h", "in.wav", "mp3.tmp"),
              With(kTagOptions, {"--tt", "title", "--ta", "artist", "--tl", "album", "--ty", "year",
                                 "--tn", "track", "--tg", "genre", "--tc", "comment",
                                 "-h", "in.wav", "mp3.tmp"}));
    // Version 2 wins, version 1 fills its gaps.
    const Id3TagSet v2{.Title = "Title 2"};
    const Id3TagSet v1{.Title = "Title 1", .Artist = "Artist 1"};
    EXPECT_EQ(LameArguments(keep, v2, v1, "-h", "a", "b"),
              With(kTagOptions, {"--tt", "Title 2", "--ta", "Artist 1", "-h", "a", "b"}));
    // Selected but empty in both sets: nothing to carry, not even the tag options.
    EXPECT_EQ(LameArguments(keep, {}, {}, "-b 192", "a", "b"), (Words{"-b", "192", "a", "b"}));

    // Fields not kept are left out; with none kept there are no tag options at all.
    keep.fill(false);
    EXPECT_EQ(LameArguments(keep, full, full, "-h", "a", "b"), (Words{"-h", "a", "b"}));
    keep[kTagComment] = true;
    EXPECT_EQ(LameArguments(keep, full, {}, "-h", "a", "b"),
              With(kTagOptions, {"--tc", "comment", "-h", "a", "b"}));
}

}  // namespace
}  // namespace varnook
