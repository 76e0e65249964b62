// The work WAV a conversion writes: 16-bit PCM (or 24-bit, where the source's depth is kept)
// behind a plain 44-byte header, the layout the header check and every later step take without
// question.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/wav_info.h"
#include "io/file.h"

namespace varnook {

inline constexpr int kWorkBits16 = 16;
inline constexpr int kWorkBits24 = 24;

class WorkWavWriter {
public:
    // `bits` is kWorkBits16 or kWorkBits24.
    WorkWavWriter(const std::string& path, int channels, int32_t rate, int bits = kWorkBits16);

    // Appends interleaved samples: 16-bit ones to a 16-bit file, 24-bit ones (in the low bits of
    // each int32_t) to a 24-bit file. Throws FileError when the disk refuses them, ProgramError
    // (overflow) when the data would outgrow the 32-bit sizes of a WAV header, and ProgramError
    // (invalid argument) for samples of the other width.
    void Append(std::span<const int16_t> samples);
    void Append(std::span<const int32_t> samples);
    // Writes the header with the final sizes and closes the file; returns the layout written.
    WavInfo Finish();

private:
    template <typename Sample, typename Store>
    void Put(std::span<const Sample> samples, int width, Store store);

    File file_;
    int channels_;
    int32_t rate_;
    int bytesPerSample_;
    int64_t dataBytes_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace varnook
