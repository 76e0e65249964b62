// The WAV info record: the format and layout of the WAV file last checked by WavTime. The
// analysis, amplify and trim steps work from it alone and never parse a header themselves.
// Widths follow the file's own fields, so a value read from a header is kept exactly.
#pragma once

#include <cstdint>

namespace varnook {

// The depth of a work file that keeps a deep source's samples; every other work file has 16 bits.
inline constexpr int16_t kDeepBits = 24;

struct WavInfo {
    int16_t FormatTag = 0;      // 1 is PCM
    int16_t Channels = 0;       // 1 or 2 after a successful check
    int32_t SampleRate = 0;
    int32_t ByteRate = 0;
    int16_t BlockAlign = 0;
    int16_t BitsPerSample = 0;
    int32_t RiffSize = 0;       // file length - 8 after a successful check
    int32_t FmtSize = 0;
    int32_t DataStart = 0;      // offset of the first sample byte
    int32_t DataSize = 0;       // bytes of sample data
};

}  // namespace varnook
