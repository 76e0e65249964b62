// The status line of a batch on a terminal: one line on standard error, redrawn in place, with
// the files finished of all, the share of the audio done, the time taken and the time still to
// go, and the files in hand. It is only ever drawn when standard error is a terminal, so nothing
// of it reaches standard output, a pipe or a file; the log lines on standard output are what a
// script reads.
#pragma once

#include <chrono>
#include <string>

#include "library/run_loop.h"

namespace varnook {

// The text of the line, without the redraw controls: "3/8 files  42%  0:12 elapsed  0:17 left
// a.wav, b.wav". The time left is estimated from the share done, and left out until some is.
std::string StatusText(const RunProgress& progress, std::chrono::seconds elapsed);

class StatusLine {
public:
    // Draws only when standard error is a terminal.
    StatusLine();
    ~StatusLine();

    void Draw(const RunProgress& progress);
    // Wipes the line, so that a log line written next starts on a clean line.
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
    std::string drawn_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace varnook
