#include "id3/compressed_frame.h"

#include <algorithm>
#include <vector>

#include <taglib/id3v2synchdata.h>
#include <zlib.h>

namespace varnook {
namespace {

using TagLib::ByteVector;

// 2.3 and 2.4 frame headers: identifier 0-3, size 4-7, status flags 8, format flags 9.
constexpr unsigned kIdSize = 4;
constexpr unsigned kStatusFlagsAt = 8;
constexpr unsigned kFormatFlagsAt = 9;
constexpr unsigned kFrameHeaderSize = 10;

// Format flags of 2.3. A compressed frame's data starts with its inflated size (4 bytes), then
// the group byte when grouped.
constexpr uint8_t kV3Compressed = 0x80;
constexpr uint8_t kV3Encrypted = 0x40;
constexpr uint8_t kV3Grouped = 0x20;
constexpr unsigned kV3InflatedSizeBytes = 4;

// Format flags of 2.4. The data starts with the group byte when grouped, then the data length
// (4 bytes) when one is given.
constexpr uint8_t kV4Grouped = 0x40;
constexpr uint8_t kV4Compressed = 0x08;
constexpr uint8_t kV4Encrypted = 0x04;
constexpr uint8_t kV4Unsynchronised = 0x02;
constexpr uint8_t kV4DataLength = 0x01;
constexpr unsigned kV4DataLengthBytes = 4;

constexpr unsigned kGroupBytes = 1;
// Inflated in steps of this, so a frame costs what it unfolds to, not what it claims.
constexpr size_t kInflateStep = size_t{64} << 10;

// The zlib stream `data` inflated, or nothing when it is not one whole stream of at most
// `limit` bytes.
std::optional<ByteVector> Inflate(const ByteVector& data, size_t limit)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = data.size();
    std::vector<char> out;
    int status = Z_OK;
    while (status == Z_OK && out.size() <= limit) {
        const size_t have = out.size();
        const size_t room = std::min(kInflateStep, limit + 1 - have);
        out.resize(have + room);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + have);
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(out.size() - stream.avail_out);
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || out.size() > limit) return std::nullopt;
    return ByteVector(out.data(), static_cast<unsigned>(out.size()));
}

}  // namespace

std::optional<PlainFrame> WithoutCompression(const ByteVector& frame, unsigned majorVersion,
                                             bool tagUnsynchronised, size_t limit)
{
    if (majorVersion < 3 || frame.size() < kFrameHeaderSize) return PlainFrame{frame};
    const auto flags = static_cast<uint8_t>(frame[kFormatFlagsAt]);
    const bool v3 = majorVersion == 3;
    const bool compressed = (flags & (v3 ? kV3Compressed : kV4Compressed)) != 0;
    const bool encrypted = (flags & (v3 ? kV3Encrypted : kV4Encrypted)) != 0;
    if (!compressed || encrypted) return PlainFrame{frame};

    ByteVector data = frame.mid(kFrameHeaderSize);
    unsigned skip = 0;
    uint8_t cleared = 0;
    if (v3) {
        skip = kV3InflatedSizeBytes + ((flags & kV3Grouped) != 0 ? kGroupBytes : 0);
        cleared = kV3Compressed | kV3Grouped;
    } else {
        if (tagUnsynchronised || (flags & kV4Unsynchronised) != 0) data = TagLib::ID3v2::SynchData::decode(data);
        skip = ((flags & kV4Grouped) != 0 ? kGroupBytes : 0) + ((flags & kV4DataLength) != 0 ? kV4DataLengthBytes : 0);
        cleared = kV4Grouped | kV4Compressed | kV4Unsynchronised | kV4DataLength;
    }
    if (data.size() < skip) return std::nullopt;
    const std::optional<ByteVector> inflated = Inflate(data.mid(skip), limit);
    if (!inflated) return std::nullopt;

    const auto size = static_cast<unsigned>(inflated->size());
    ByteVector plain = frame.mid(0, kIdSize);
    plain.append(v3 ? ByteVector::fromUInt(size, true) : TagLib::ID3v2::SynchData::fromUInt(size));
    plain.append(frame[kStatusFlagsAt]);
    plain.append(static_cast<char>(flags & ~cleared));
    plain.append(*inflated);
    return PlainFrame{plain, true};
}

}  // namespace varnook
