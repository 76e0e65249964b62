#include "encoder/whole_output.h"

#include <array>
#include <cstdint>
#include <optional>

#include "io/byte_order.h"
#include "io/errors.h"
#include "id3/id3v2_header.h"
#include "io/file.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

constexpr int64_t kId3v1Bytes = 128;
constexpr uint32_t kFrameSync = 0x7FF;
constexpr uint32_t kMpeg1 = 3;
constexpr uint32_t kMpeg25 = 0;
constexpr uint32_t kLayer3 = 1;
constexpr uint32_t kMono = 3;
constexpr uint32_t kXingFramesFlag = 1;
constexpr uint32_t kXingBytesFlag = 2;

// Kilobits per second by bitrate index (0 is free format, 15 is forbidden).
constexpr std::array<int, 15> kMpeg1Bitrates{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 15> kMpeg2Bitrates{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
constexpr std::array<int, 3> kMpeg1Rates{44100, 48000, 32000};

std::optional<uint32_t> BigEndianAt(const File& file, int64_t offset)
{
    std::array<uint8_t, 4> bytes{};
    if (file.ReadAt(offset, bytes) != bytes.size()) return std::nullopt;
    return LoadBE32(bytes.data());
}

struct Frame {
    int64_t length = 0;     // 0 for a free-format frame
    int64_t tagOffset = 0;  // where a Xing/Info tag would start, after the side information
};

std::optional<Frame> ParseFrameHeader(uint32_t header)
{
    const uint32_t version = (header >> 19) & 3;
    const uint32_t bitrateIndex = (header >> 12) & 15;
    const uint32_t rateIndex = (header >> 10) & 3;
    if (header >> 21 != kFrameSync || version == 1 || ((header >> 17) & 3) != kLayer3 ||
        bitrateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    const bool mpeg1 = version == kMpeg1;
    // MPEG 2 halves the rates of MPEG 1, and MPEG 2.5 halves them again.
    const int rate = kMpeg1Rates[rateIndex] / (mpeg1 ? 1 : version == kMpeg25 ? 4 : 2);
    const int kbps = (mpeg1 ? kMpeg1Bitrates : kMpeg2Bitrates)[bitrateIndex];
    const int64_t slotsPerKbps = mpeg1 ? 144000 : 72000;
    const bool mono = ((header >> 6) & 3) == kMono;
    Frame frame;
    frame.length = kbps == 0 ? 0 : slotsPerKbps * kbps / rate + ((header >> 9) & 1);
    frame.tagOffset = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    return frame;
}

}  // namespace

bool WavOutputWhole(const std::string& path)
{
    try {
        const File file(path, File::Mode::Read);
        const int64_t size = file.Size();
        std::array<uint8_t, kChunkHeaderBytes> chunk{};
        if (file.ReadAt(0, chunk) != chunk.size() || !IdAt(chunk, 0, kRiffId))
            return false;
        for (int64_t at = kRiffHeaderBytes; size - at >= kChunkHeaderBytes;) {
            file.ReadExactAt(at, chunk);
            const int64_t length = static_cast<uint32_t>(LoadLE32(chunk.data() + kChunkSizeAt));
            at += kChunkHeaderBytes;
            if (IdAt(chunk, 0, kDataId)) return length <= size - at;
            at += length + (length & 1);
        }
        return false;
    } catch (const FileError&) {
        return false;
    }
}

bool Mp3OutputWhole(const std::string& path)
{
    try {
        const File file(path, File::Mode::Read);
        const int64_t size = file.Size();
        int64_t at = 0;
        std::array<uint8_t, kId3v2HeaderSize> id3{};
        if (file.ReadAt(0, id3) == id3.size() && IsId3v2Header(id3)) at = Id3v2TagBytes(id3);
        const int64_t firstFrame = at;
        std::optional<uint32_t> taggedFrames;
        std::optional<uint32_t> taggedBytes;
        int64_t frames = 0;
        while (at < size) {
            if (size - at == kId3v1Bytes) {
                std::array<uint8_t, 3> tag{};
                if (file.ReadAt(at, tag) == tag.size() && tag == std::array<uint8_t, 3>{'T', 'A', 'G'}) break;
            }
            const std::optional<uint32_t> header = BigEndianAt(file, at);
            const std::optional<Frame> frame = header ? ParseFrameHeader(*header) : std::nullopt;
            if (!frame) return false;
            if (frame->length == 0) return true;
            if (frame->length > size - at) return false;
            if (frames == 0) {
                const std::optional<uint32_t> id = BigEndianAt(file, at + frame->tagOffset);
                const std::optional<uint32_t> flags = BigEndianAt(file, at + frame->tagOffset + 4);
                if (id && flags && (*id == 0x58696E67 || *id == 0x496E666F)) {  // "Xing", "Info"
                    int64_t field = at + frame->tagOffset + 8;
                    if (*flags & kXingFramesFlag) {
                        taggedFrames = BigEndianAt(file, field);
                        field += 4;
                    }
                    if (*flags & kXingBytesFlag) taggedBytes = BigEndianAt(file, field);
                }
            }
            at += frame->length;
            ++frames;
        }
        // The Info frame counts the frames after itself, and the bytes from its own start.
        if (taggedFrames && *taggedFrames != frames - 1) return false;
        if (taggedBytes && *taggedBytes != at - firstFrame) return false;
        return frames > 0;
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace varnook
