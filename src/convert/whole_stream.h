// A source opened for libsndfile so that it decodes to the end of what the file holds.
// libsndfile stops reading a FLAC stream where its STREAMINFO says the stream ends, so a header
// that counts too few samples would cut the song short without a word. The file is therefore
// read through libsndfile's virtual I/O, which shows STREAMINFO's total-samples field as 0
// ("unknown", which libsndfile reads to the end) and keeps what the field said, so the decoded
// length can be held against it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <sndfile.h>

namespace varnook {

class WholeStream {
public:
    // Opens `path` for reading; Get() is null when the file cannot be opened or libsndfile
    // cannot read it.
    explicit WholeStream(const std::string& path);
    ~WholeStream();
    WholeStream(const WholeStream&) = delete;
    WholeStream& operator=(const WholeStream&) = delete;

    SNDFILE* Get() const { return sndFile_; }
    const SF_INFO& Info() const { return info_; }
    // The length the file's header gives, in frames: a FLAC file's STREAMINFO total, any other
    // file's as libsndfile reads it. Empty when the header does not say (a total of 0).
    std::optional<int64_t> HeaderFrames() const;
    // What went wrong reading the file after it was opened (an I/O error, which libsndfile takes
    // for the end of the file); empty when nothing did.
    const std::string& ReadError() const;

    struct Source;

private:
    std::unique_ptr<Source> source_;
    SF_INFO info_{};
    SNDFILE* sndFile_ = nullptr;
};

}  // namespace varnook
