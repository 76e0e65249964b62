// The work WAV a conversion writes: 16-bit PCM behind a plain 44-byte header, the layout the
// header check and every later step take without question.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/file.h"

namespace varnook {

class WorkWavWriter {
public:
    WorkWavWriter(const std::string& path, int channels, int32_t rate);

    // Appends interleaved samples. Throws FileError when the disk refuses them, and ProgramError
    // (overflow) when the data would outgrow the 32-bit sizes of a WAV header.
    void Append(std::span<const int16_t> samples);
    // Writes the header with the final sizes and closes the file.
    void Finish();

private:
    File file_;
    int channels_;
    int32_t rate_;
    int64_t dataBytes_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace varnook
