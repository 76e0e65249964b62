// The status line of a batch on a terminal: one line on standard error, redrawn in place, with
// the files finished of all, the share of the audio done, the time taken and the time still to
// go, and the files in hand. It is only ever drawn when standard error is a terminal, so nothing
// of it reaches standard output, a pipe or a file; the log lines on standard output are what a
// script reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace varnook {

struct BatchProgress {
    size_t Finished = 0;
    size_t Total = 0;
    int64_t BytesDone = 0;   // source bytes of the finished files: the measure of "the audio"
    int64_t BytesTotal = 0;
    std::vector<std::string> InHand;  // names (no folder) of the files being processed
};

// The text of the line, without the redraw controls: "3/8 files  42%  0:12 elapsed  0:17 left
// a.wav, b.wav". The time left is estimated from the share done, and left out until some is.
std::string StatusText(const BatchProgress& progress, std::chrono::seconds elapsed);

class StatusLine {
public:
    // Draws only when `enabled` and standard error is a terminal.
    explicit StatusLine(bool enabled);
    ~StatusLine();

    void Draw(const BatchProgress& progress);
    // Wipes the line, so that a log line written next starts on a clean line.
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
    std::string drawn_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace varnook
