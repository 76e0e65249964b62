#include "cli/status_line.h"

#include <gtest/gtest.h>

#include "cli/terminal_text.h"

namespace varnook {
namespace {

// A line longer than the terminal would wrap and leave its first half behind at each redraw: a
// long name is cut with "..." to 78 bytes at most, and never inside a UTF-8 character. The
// share is of the audio's seconds. A name's control characters, C1 ones and bytes of no UTF-8
// character reach the terminal as "?": a title set by ESC ], a CSI, a lone 0x9B.
TEST(StatusText, ShowsTheRunAndNeverOutgrowsItsWidthOrCommandsTheTerminal)
{
    std::string accents = "a";  // then 40 two-byte letters
    for (int i = 0; i < 40; ++i) accents += "\u00E9";
    using std::chrono::seconds;
    const struct {
        RunProgress progress;
        int64_t elapsed;
        std::optional<seconds> left;
        std::string expected;
    } rows[] = {
        {{0, 8, 0, 0, {"a.wav"}}, 0, {}, "0/8 files  0%  0:00 elapsed  a.wav"},
        {{3, 8, 42, 100, {"a.wav", "b.wav"}}, 12, seconds(17), "3/8 files  42%  0:12 elapsed  0:17 left  a.wav, b.wav"},
        {{1, 2, 50, 100, {std::string(100, 'x')}}, 75, seconds(75),
         "1/2 files  50%  1:15 elapsed  1:15 left  " + std::string(34, 'x') + "..."},
        {{0, 2, 0, 0, {accents}}, 0, {}, "0/2 files  0%  0:00 elapsed  " + accents.substr(0, 1 + 2 * 22) + "..."},
        {{0, 1, 0, 0, {"a\033]0;title\a\tb\x7F\xC2\x9B" "2J\x9B\xE2\x82.wav"}}, 0, {},
         "0/1 files  0%  0:00 elapsed  a?]0;title??b??2J???.wav"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StatusText(row.progress, seconds(row.elapsed), row.left), row.expected);
    // Well-formed UTF-8 of every length passes whole: only controls are shown otherwise.
    EXPECT_EQ(TerminalSafe("\u00E9\u20AC\U0001F3B5"), "\u00E9\u20AC\U0001F3B5");
    EXPECT_EQ(TerminalSafe("\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80"), "??????????");
}

// The time left counts down by the clock and follows a new estimate by 1 - exp(-dt / 30 s) of
// the gap: an even pace gives the estimate itself; the estimate doubling after 10 s without a
// file ending moves it by 28 % of the gap; none before any audio is done or after all is.
TEST(TimeLeft, CountsDownAndFollowsANewPaceSmoothly)
{
    const struct {
        const char* name;
        std::vector<std::array<double, 4>> steps;  // elapsed, seconds done, of all, shown (-1: none)
    } rows[] = {
        {"EvenPace", {{10, 10, 100, 90}, {20, 20, 100, 80}, {70, 70, 100, 30}}},
        {"PaceHalved", {{10, 10, 100, 90}, {20, 10, 100, 108.35}, {50, 10, 100, 313.28}}},
        {"NothingOrAllDone", {{5, 0, 100, -1}, {10, 10, 100, 90}, {20, 100, 100, -1}, {30, 50, 100, 30}}},
    };
    for (const auto& row : rows) {
        TimeLeft left;
        for (const auto& [elapsed, done, total, shown] : row.steps)
            EXPECT_NEAR(left.At(elapsed, done, total).value_or(-1), shown, 0.01) << row.name << " at " << elapsed;
    }
}

}  // namespace
}  // namespace varnook
