// Picking text frames out of an ID3v2 tag body. Each wanted frame is looked up by the first
// occurrence of its identifier anywhere in the body rather than by walking the frames, and only
// the lowest byte of its size is read, so a text is at most 254 bytes; that is plenty for the
// seven fields handed to the encoder and keeps every malformed size harmless. (The whole tag,
// every frame at its full size, is carried over by tags/.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace varnook {

// Where the frames of one major version keep their parts, counted from the first byte of the
// frame identifier, the identifiers of the seven fields and that of the album artist, which only
// groups albums.
struct Id3v2Layout {
    uint8_t MajorVersion = 0;
    size_t SizeByteOffset = 0;  // the lowest byte of the big-endian frame size
    size_t TextOffset = 0;      // the first text byte, past the encoding byte
    bool HasFrameFlags = false; // 2.3 and 2.4 frames carry two flag bytes, 2.2 frames none
    std::string_view Title;
    std::string_view Artist;
    std::string_view Album;
    std::string_view Year;
    std::string_view Genre;
    std::string_view Comment;
    std::string_view Track;
    std::string_view AlbumArtist;
};

// The layout of major version 2, 3 or 4; empty for any other.
std::optional<Id3v2Layout> Id3v2LayoutFor(uint8_t majorVersion);

// A text frame as stored: its encoding byte and the bytes after it.
struct RawFrame {
    uint8_t Encoding = 0;
    std::span<const uint8_t> Text;
};

// The frame `id` as stored, encoding byte apart: (size mod 256) - 1 bytes,
// fewer where the body ends first. Empty when the identifier is missing, the frame is too short,
// its header is cut off by the end of the body, or (2.3, 2.4) its format flags byte is not 0,
// since a compressed or encrypted frame holds no readable text.
RawFrame FindTextFrame(std::span<const uint8_t> body, std::string_view id,
                       const Id3v2Layout& layout);

// The frame's text decoded by its encoding byte (DecodeId3Text), the blanks at both ends
// removed. The several values of a 2.4 frame are joined with "/", the way 2.3 writes them; in
// older versions a zero between two texts becomes a blank. Double quotes are kept: the encoder
// gets each text as an argument of its own.
std::string CleanFrameText(const RawFrame& raw, const Id3v2Layout& layout);

// CleanFrameText(FindTextFrame(body, id, layout), layout).
std::string FrameText(std::span<const uint8_t> body, std::string_view id, const Id3v2Layout& layout);

}  // namespace varnook
