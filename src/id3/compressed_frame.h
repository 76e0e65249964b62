// The zlib-compressed frames of an ID3v2.3 or 2.4 tag, inflated here before TagLib makes them:
// TagLib inflates a frame to whatever size its few bytes of zlib data unfold to, so one crafted
// frame of a few kilobytes could take gigabytes. Here the inflated data is capped, and a frame
// beyond the cap, or whose data is no zlib stream, is told apart as broken instead of vanishing.
#pragma once

#include <cstddef>
#include <optional>

#include <taglib/tbytevector.h>

namespace varnook {

// The most a compressed frame may inflate to: far more than any text, room for a large cover.
inline constexpr size_t kMaxInflatedFrameBytes = size_t{16} << 20;

struct PlainFrame {
    TagLib::ByteVector Bytes;  // the frame header and data
    bool Inflated = false;     // Bytes were made here: the data holds no unsynchronisation any more
};

// `frame` (its header and data as the tag holds them, a 2.3 tag's unsynchronisation undone) as
// a frame TagLib can make without inflating anything: the frame itself when it is not
// compressed, or compressed and encrypted (which no one can read); otherwise the same header
// with its size set to the inflated data's and its compression, grouping, data length and
// unsynchronisation flags cleared, then the inflated data. In 2.4 the data's
// unsynchronisation (the frame's own flag, or the tag's when `tagUnsynchronised`) is undone
// before inflating. Empty when the frame is compressed but its data is no whole zlib stream,
// or inflates to more than `limit` bytes.
std::optional<PlainFrame> WithoutCompression(const TagLib::ByteVector& frame, unsigned majorVersion,
                                             bool tagUnsynchronised, size_t limit = kMaxInflatedFrameBytes);

}  // namespace varnook
