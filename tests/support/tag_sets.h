// ID3 tag sets in tests: printed field by field when a comparison fails, and read from bytes
// written to a file of their own.
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

// Writes `bytes` as an MP3 file in a fresh folder and reads it with `reader`.
inline Id3TagSet ReadTagsFromBytes(const std::vector<uint8_t>& bytes,
                                   Id3TagSet (*reader)(const std::string&))
{
    TempDir dir;
    const std::string path = dir.File("song.mp3");
    WriteAllBytes(path, bytes);
    return reader(path);
}

}  // namespace test
}  // namespace varnook
