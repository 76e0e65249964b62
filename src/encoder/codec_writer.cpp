#include "encoder/codec_writer.h"

namespace varnook {

bool OutputSink::Write(const void* bytes, size_t size) noexcept
{
    if (failure_) return false;
    try {
        file_.WriteAt(static_cast<int64_t>(at_), std::span(static_cast<const uint8_t*>(bytes), size));
        at_ += size;
        return true;
    } catch (...) {
        failure_ = std::current_exception();
        return false;
    }
}

bool OutputSink::Seek(uint64_t offset) noexcept
{
    if (failure_) return false;
    at_ = offset;
    return true;
}

void OutputSink::RethrowFailure() const
{
    if (failure_) std::rethrow_exception(failure_);
}

}  // namespace varnook
