#include "cli/status_line.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

// A line longer than the terminal would wrap and leave its first half behind at each redraw: a
// long name is cut with "..." to 78 bytes at most, and never inside a UTF-8 character.
TEST(StatusText, ShowsTheRunAndNeverOutgrowsItsWidth)
{
    std::string accents = "a";  // then 40 two-byte letters
    for (int i = 0; i < 40; ++i) accents += "\u00E9";
    const struct {
        RunProgress progress;
        int64_t elapsed;
        std::string expected;
    } rows[] = {
        {{0, 8, 0, 0, {"a.wav"}}, 0, "0/8 files  0%  0:00 elapsed  a.wav"},
        {{3, 8, 42, 100, {"a.wav", "b.wav"}}, 12, "3/8 files  42%  0:12 elapsed  0:16 left  a.wav, b.wav"},
        {{1, 2, 50, 100, {std::string(100, 'x')}}, 75,
         "1/2 files  50%  1:15 elapsed  1:15 left  " + std::string(34, 'x') + "..."},
        {{0, 2, 0, 0, {accents}}, 0, "0/2 files  0%  0:00 elapsed  " + accents.substr(0, 1 + 2 * 22) + "..."},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StatusText(row.progress, std::chrono::seconds(row.elapsed)), row.expected);
}

}  // namespace
}  // namespace varnook
