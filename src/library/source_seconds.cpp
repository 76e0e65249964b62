#include "library/source_seconds.h"

#include "convert/convert.h"

namespace varnook {

SourceSeconds::SourceSeconds(std::vector<std::string> paths)
    : paths_(std::move(paths)), seconds_(paths_.size()), finished_(paths_.size()), reader_([this] { Read(); })
{
}

SourceSeconds::~SourceSeconds()
{
    stop_ = true;
    reader_.join();
}

void SourceSeconds::Read()
{
    for (size_t i = 0; i < paths_.size() && !stop_; ++i) {
        seconds_[i] = AudioSeconds(paths_[i]);
        read_.store(i + 1, std::memory_order_release);
    }
}

void SourceSeconds::Finished(size_t index)
{
    finished_[index] = 1;
    if (index < counted_) {
        finishedSeconds_ += seconds_[index];
    } else {
        ++finishedUncounted_;
    }
}

SourceSeconds::Tally SourceSeconds::Count()
{
    for (const size_t read = read_.load(std::memory_order_acquire); counted_ < read; ++counted_) {
        countedSeconds_ += seconds_[counted_];
        if (finished_[counted_] == 0) continue;
        finishedSeconds_ += seconds_[counted_];
        --finishedUncounted_;
    }
    const double mean = counted_ > 0 ? countedSeconds_ / static_cast<double>(counted_) : 0;
    return {finishedSeconds_ + static_cast<double>(finishedUncounted_) * mean,
            countedSeconds_ + static_cast<double>(seconds_.size() - counted_) * mean};
}

}  // namespace varnook
