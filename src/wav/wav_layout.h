// Where things stand in a WAV file: the RIFF header ("RIFF", the size of all that follows it,
// "WAVE") and the chunks after it, each an identifier, a little-endian 32-bit size and a body.
// The header check, the trim, the conversion's work WAV, the encoder's output check, the
// provenance chunk and the tag reader all read and write WAV files by these names, so the
// layout is written down once.
// Depends on io/ only.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "io/file.h"

namespace varnook {

inline constexpr std::string_view kRiffId = "RIFF";
inline constexpr std::string_view kWaveId = "WAVE";
inline constexpr std::string_view kFmtId = "fmt ";
inline constexpr std::string_view kDataId = "data";
// Varnook's own chunk after the samples, holding a WAV output's provenance.
inline constexpr std::string_view kProvenanceId = "vrkp";

// A chunk header: the identifier, then the size of the body that follows the header.
inline constexpr int64_t kChunkIdBytes = 4;
inline constexpr int64_t kChunkSizeAt = kChunkIdBytes;
inline constexpr int64_t kChunkSizeBytes = 4;
inline constexpr int64_t kChunkHeaderBytes = kChunkIdBytes + kChunkSizeBytes;

// The RIFF header is a chunk header whose body starts with "WAVE"; its size counts the file
// after its first kChunkHeaderBytes bytes.
inline constexpr int64_t kRiffIdAt = 0;
inline constexpr int64_t kRiffSizeAt = kChunkSizeAt;
inline constexpr int64_t kWaveIdAt = kChunkHeaderBytes;
inline constexpr int64_t kRiffHeaderBytes = kWaveIdAt + kChunkIdBytes;  // where the first chunk starts

// The "fmt " chunk, which the header check requires to come first.
inline constexpr int64_t kFmtIdAt = kRiffHeaderBytes;
inline constexpr int64_t kFmtSizeAt = kFmtIdAt + kChunkSizeAt;
inline constexpr int64_t kFmtBodyAt = kFmtIdAt + kChunkHeaderBytes;
// The PCM format's body, the least a "fmt " chunk may hold, and its fields within it.
inline constexpr int32_t kPcmFmtBytes = 16;
inline constexpr int64_t kFormatTagAt = 0;
inline constexpr int64_t kChannelsAt = 2;
inline constexpr int64_t kSampleRateAt = 4;
inline constexpr int64_t kByteRateAt = 8;
inline constexpr int64_t kBlockAlignAt = 12;
inline constexpr int64_t kBitsPerSampleAt = 14;
inline constexpr int16_t kPcmFormatTag = 1;

// The plain 44-byte header Varnook writes itself: the PCM "fmt " chunk, then "data".
inline constexpr int64_t kPlainDataChunkAt = kFmtBodyAt + kPcmFmtBytes;
inline constexpr int64_t kPlainHeaderBytes = kPlainDataChunkAt + kChunkHeaderBytes;

// Every position and size in the header is a signed 32-bit number, so a longer file cannot be
// described by it (or repaired or grown into it) without wrapping.
inline constexpr int64_t kMaxWavFileLength = std::numeric_limits<int32_t>::max();

// Where the header of the chunk whose body starts at `bodyAt` begins, and where its size stands.
constexpr int64_t ChunkHeaderAt(int64_t bodyAt) { return bodyAt - kChunkHeaderBytes; }
constexpr int64_t ChunkSizeFieldAt(int64_t bodyAt) { return ChunkHeaderAt(bodyAt) + kChunkSizeAt; }

// True when `id` stands at `at` in `bytes`; bytes too few to hold it never match.
inline bool IdAt(std::span<const uint8_t> bytes, size_t at, std::string_view id)
{
    return bytes.size() >= at && bytes.size() - at >= id.size() &&
           std::equal(id.begin(), id.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

// N bytes of the file from `offset`. Bytes the file does not have read as zero, so a header cut
// short fails the check that reads it instead of matching by accident.
template <size_t N>
std::array<uint8_t, N> ReadField(const File& file, int64_t offset)
{
    std::array<uint8_t, N> bytes{};
    file.ReadAt(offset, bytes);
    return bytes;
}

// True when `id` stands at `offset` in the file; a file too short to hold it never matches.
inline bool FileIdAt(const File& file, int64_t offset, std::string_view id)
{
    return IdAt(ReadField<kChunkIdBytes>(file, offset), 0, id);
}

}  // namespace varnook
