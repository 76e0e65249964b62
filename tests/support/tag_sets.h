// ID3 tags in tests: sets printed field by field when a comparison fails and read from bytes
// written to a file of their own, and version 2 tags built by hand.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "base/id3_tags.h"
#include "support/temp_dir.h"

namespace varnook {

inline void PrintTo(const Id3TagSet& set, std::ostream* os)
{
    *os << "{Title=\"" << set.Title << "\", Artist=\"" << set.Artist << "\", Album=\""
        << set.Album << "\", Year=\"" << set.Year << "\", Comment=\"" << set.Comment
        << "\", Genre=\"" << set.Genre << "\", Track=\"" << set.Track << "\"}";
}

namespace test {

// An ID3v2 frame of `major` around `data`: a 2.2 frame has a three-letter identifier and a
// three-byte size; a 2.3 frame a four-byte size, then its status and format flags; a 2.4 frame
// the same (its size, seven bits a byte, reads alike below 128).
inline std::string Id3Frame(char major, const std::string& id, const std::string& data, char formatFlags = 0)
{
    std::string frame = id;
    for (int shift = major == 2 ? 16 : 24; shift >= 0; shift -= 8) frame += static_cast<char>(data.size() >> shift);
    if (major > 2) frame += std::string{'\0', formatFlags};
    return frame + data;
}

// An ID3v2 tag of `major` around `frames`, its size in seven-bit digits.
inline std::string Id3Tag(char major, const std::string& frames, char flags = 0)
{
    std::string tag = std::string("ID3") + major + '\0' + flags;
    for (int shift = 21; shift >= 0; shift -= 7) tag += static_cast<char>((frames.size() >> shift) & 0x7F);
    return tag + frames;
}

}  // namespace test
}  // namespace varnook
