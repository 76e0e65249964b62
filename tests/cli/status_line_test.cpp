#include "cli/status_line.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

// A line longer than the terminal would wrap and leave its first half behind at each redraw: a
// long name is cut with "..." to 78 bytes, never inside a UTF-8 character. The share is of the
// audio's seconds. Controls (ESC of a title sequence, a C1 CSI) and bytes of no character show
// as "?", which no terminal takes for a command.
TEST(StatusText, ShowsTheRunAndNeverOutgrowsItsWidthOrCommandsTheTerminal)
{
    std::string accents = "\033]0;\xC2\x9B\x9B";  // then 40 two-byte letters
    for (int i = 0; i < 40; ++i) accents += "\u00E9";
    const auto text = [](RunProgress progress, int elapsed, std::optional<int> left) {
        return StatusText(progress, std::chrono::seconds(elapsed), left ? std::optional(std::chrono::seconds(*left)) : std::nullopt);
    };
    EXPECT_EQ(text({0, 8, 0, 0, {"a.wav"}}, 0, {}), "0/8 files  0%  0:00 elapsed  a.wav");
    EXPECT_EQ(text({3, 8, 42, 100, {"a.wav", "b.wav"}}, 12, 17), "3/8 files  42%  0:12 elapsed  0:17 left  a.wav, b.wav");
    EXPECT_EQ(text({0, 2, 0, 0, {accents}}, 75, 75), "0/2 files  0%  1:15 elapsed  1:15 left  ?]0;??" + accents.substr(7, 2 * 14) + "...");
}

// The time left counts down by the clock and follows a new estimate by 1 - exp(-dt / 30 s) of
// the gap: an even pace shows the estimate itself; a pace halved for 10 s (no file ended) moves
// it 28 % of the way to the new 180 s; none before any audio is done, nor after all is.
TEST(TimeLeft, CountsDownAndFollowsANewPaceSmoothly)
{
    const std::vector<std::array<double, 4>> rows[] = {  // elapsed, done, all, shown (-1: none)
        {{10, 10, 100, 90}, {20, 20, 100, 80}, {70, 70, 100, 30}},
        {{10, 10, 100, 90}, {20, 10, 100, 108.35}, {50, 10, 100, 313.28}},
        {{5, 0, 100, -1}, {10, 10, 100, 90}, {20, 100, 100, -1}, {30, 50, 100, 30}}};
    for (const auto& steps : rows) {
        TimeLeft left;
        for (const auto& [elapsed, done, total, shown] : steps)
            EXPECT_NEAR(left.At(elapsed, done, total).value_or(-1), shown, 0.01) << "at " << elapsed << " of row " << &steps - rows;
    }
}

}  // namespace
}  // namespace varnook
