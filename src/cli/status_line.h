// The status line of a batch on a terminal: one line on standard error, redrawn in place, with
// the files finished of all, the share of the audio done, the time taken and the time still to
// go, and the files in hand. It is only ever drawn when standard error is a terminal, so nothing
// of it reaches standard output, a pipe or a file; the log lines on standard output are what a
// script reads.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "library/run_loop.h"

namespace varnook {

// The text of the line, without the redraw controls: "3/8 files  42%  0:12 elapsed  0:17 left
// a.wav, b.wav". The share is of the run's seconds of audio; the time left is left out when
// there is none. A name's control characters show as "?" (see TerminalSafe).
std::string StatusText(const RunProgress& progress, std::chrono::seconds elapsed,
                       std::optional<std::chrono::seconds> left);

// The time a run has left. The raw estimate is the audio still to do at the pace of the audio
// done so far; it moves in steps, as files of different lengths end and jobs finish together.
// The shown time counts down by the clock and is pulled toward each new estimate by the share
// 1 - exp(-dt / 30 s) of the gap, dt being the time since the last one: a clock that ticks
// evenly, a pace that changes for good reaches it within a minute or so, and one file's
// surprise moves it by a fraction.
class TimeLeft {
public:
    // The seconds left to show at `elapsed` seconds into the run; none until some audio is done,
    // and none once all of it is.
    std::optional<double> At(double elapsed, double secondsDone, double secondsTotal);

private:
    std::optional<double> shown_;
    double shownAt_ = 0;
};

class StatusLine {
public:
    // Draws only when standard error is a terminal.
    StatusLine();
    ~StatusLine();

    bool Enabled() const { return enabled_; }

    void Draw(const RunProgress& progress);
    // Wipes the line, so that a log line written next starts on a clean line.
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
    std::string drawn_;
    TimeLeft left_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace varnook
