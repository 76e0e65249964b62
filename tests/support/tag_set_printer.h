// Lets GoogleTest print an ID3 tag set field by field when a comparison fails.
#pragma once

#include <ostream>

#include "id3/id3_tags.h"

namespace varnook {

inline void PrintTo(const Id3TagSet& set, std::ostream* os)
{
    *os << "{Title=\"" << set.Title << "\", Artist=\"" << set.Artist << "\", Album=\"" << set.Album
        << "\", Year=\"" << set.Year << "\", Comment=\"" << set.Comment << "\", Genre=\"" << set.Genre
        << "\", Track=\"" << set.Track << "\"}";
}

}  // namespace varnook
