// What the library encoders (FLAC, Opus, Ogg Vorbis) share, so the step that drives them
// (library_encoder.cpp) reads the work WAV, watches for a stop and checks the result once for
// all three. One file per format implements it and is the only one to include its library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "io/file.h"

namespace varnook {

// The samples handed to a writer: interleaved, `Bits` bits each (16 or 24) in 32-bit integers.
struct PcmLayout {
    int Channels = 0;
    int32_t Rate = 0;
    int Bits = 0;
    int64_t Frames = 0;  // how many the writer will be given in all
};

// A library refused what it was asked (a rate it cannot take, a setting out of its range) or
// failed on its own; the text names the library and says what.
class CodecRefusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The work file as a library writes it, through C callbacks that must not throw: a failed
// write is kept and every later one refused, and RethrowFailure raises it (the FileError of a
// full disk) once the library call has returned.
class OutputSink {
public:
    explicit OutputSink(File& file) : file_(file) {}

    // Writes at the position and moves it on; false once anything failed.
    bool Write(const void* bytes, size_t size) noexcept;
    bool Seek(uint64_t offset) noexcept;
    uint64_t Tell() const noexcept { return at_; }
    void RethrowFailure() const;

private:
    File& file_;
    uint64_t at_ = 0;
    std::exception_ptr failure_;
};

class CodecWriter {
public:
    virtual ~CodecWriter() = default;

    // Encodes the next samples (whole frames). Throws FileError for the sink's failure and
    // CodecRefusal for the library's.
    virtual void Write(std::span<const int32_t> samples) = 0;
    // Ends the stream; after it every byte is in the sink. Throws as Write does.
    virtual void Finish() = 0;
    // Decodes the finished file at `path` with the same library: empty when it holds every
    // frame it was given (and, for FLAC, its samples match the MD5 in its STREAMINFO), else
    // what is wrong.
    virtual std::string DecodeFault(const std::string& path) const = 0;
};

// Level 0 to 8, libFLAC's verify on; a PADDING block of `padding` bytes when above 0, for tags
// written afterwards without moving the audio.
std::unique_ptr<CodecWriter> MakeFlacWriter(OutputSink& sink, const PcmLayout& layout, int level, size_t padding);
// The lossy writers multiply the samples by `gain` as they take them to floats, so that an output
// encoded again below a true-peak ceiling is not rounded to the work file's depth once more.
//
// 48 kHz, resampled when the layout's rate differs; `kbps` kilobits per second; no header gain.
std::unique_ptr<CodecWriter> MakeOpusWriter(OutputSink& sink, const PcmLayout& layout, int kbps, double gain = 1);
// Variable bitrate at `quality` (-1 to 10, oggenc's scale).
std::unique_ptr<CodecWriter> MakeVorbisWriter(OutputSink& sink, const PcmLayout& layout, double quality,
                                              double gain = 1);

}  // namespace varnook
