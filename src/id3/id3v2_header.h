// The ten bytes that open an ID3v2 tag, for the readers that only need to step over a tag or
// find one frame in it (the output check, the provenance): "ID3", the version, the flags and the
// size of what follows, seven bits a byte. Also the one name of Varnook's own frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace varnook {

inline constexpr size_t kId3v2HeaderSize = 10;
inline constexpr size_t kId3v2MajorVersionAt = 3;
inline constexpr size_t kId3v2FlagsAt = 5;
inline constexpr size_t kId3v2SizeAt = 6;
inline constexpr uint8_t kId3v2FooterFlag = 0x10;  // a copy of the header follows the tag

// The description of the TXXX frame that holds an MP3 output's provenance: written by the
// provenance step, never carried over from a source by the tag step.
inline constexpr std::string_view kProvenanceFrameDescription = "VarnookProvenance";

// An ID3v2 size: seven bits a byte, big-endian, so that no byte looks like a frame sync. The tag
// size is stored so in every version, a frame's size from version 2.4 on.
inline uint32_t Synchsafe32(const uint8_t* p)
{
    return (p[0] & 0x7FU) << 21 | (p[1] & 0x7FU) << 14 | (p[2] & 0x7FU) << 7 | (p[3] & 0x7FU);
}

inline bool IsId3v2Header(std::span<const uint8_t, kId3v2HeaderSize> header)
{
    return header[0] == 'I' && header[1] == 'D' && header[2] == '3';
}

// The bytes from the start of the file to the end of the tag: header, body and any footer.
inline int64_t Id3v2TagBytes(std::span<const uint8_t, kId3v2HeaderSize> header)
{
    const bool footer = (header[kId3v2FlagsAt] & kId3v2FooterFlag) != 0;
    return int64_t{kId3v2HeaderSize} * (footer ? 2 : 1) + Synchsafe32(header.data() + kId3v2SizeAt);
}

}  // namespace varnook
