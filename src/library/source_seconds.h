// The length of a run's sources in seconds of audio, for a time left that follows the audio
// rather than the bytes, which differ tenfold between formats of the same length. The headers
// are read on a thread of its own while the run goes on, so the first file starts at once, and
// in the sources' order, so what is known is always a prefix; each costs the same whatever the
// size of the run (see AudioSeconds). Not shared: asked and told from the run's own thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace varnook {

class SourceSeconds {
public:
    // Starts reading the headers of the sources at `paths` (a missing one counts 0 seconds).
    explicit SourceSeconds(std::vector<std::string> paths);
    // Stops the reading after the header in hand and waits for it.
    ~SourceSeconds();
    SourceSeconds(const SourceSeconds&) = delete;
    SourceSeconds& operator=(const SourceSeconds&) = delete;

    void Finished(size_t index);

    struct Tally {
        double Done = 0;   // seconds of the finished sources
        double Total = 0;  // seconds of every source
    };
    // A source whose header is not read yet counts the mean of those read (0 while none is),
    // so the total only settles once every header is in.
    Tally Count();

private:
    void Read();

    std::vector<std::string> paths_;
    std::vector<double> seconds_;          // by source; written by the reader up to read_
    std::atomic<size_t> read_{0};          // the headers read, from the first on
    std::atomic<bool> stop_{false};
    std::vector<char> finished_;           // by source
    size_t counted_ = 0;                   // the headers Count has added up, from the first on
    size_t finishedUncounted_ = 0;         // finished sources beyond counted_
    double countedSeconds_ = 0;
    double finishedSeconds_ = 0;           // of the finished sources among the counted
    std::thread reader_;                   // last: starts once the rest is in place
};

}  // namespace varnook
