// The tags a WAV (RIFF) or AIFF (IFF) file keeps in its own chunks: the LIST/INFO chunk of
// short texts and the "id3 " chunk, which holds a whole ID3v2 tag. Read by walking the chunk
// chain with a cap on the chunks visited and every size checked against the file's length, so a
// forged size costs neither time nor memory. Never writes, never logs; a file error gives the
// empty result.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/id3_tags.h"

namespace varnook {

// The LIST/INFO texts of the seven fields, as they are read and written.
struct InfoField {
    std::string_view id;
    std::string Id3TagSet::*field;
};

inline constexpr std::array<InfoField, 7> kInfoFields{{
    {"INAM", &Id3TagSet::Title},
    {"IART", &Id3TagSet::Artist},
    {"IPRD", &Id3TagSet::Album},
    {"ICRD", &Id3TagSet::Year},
    {"ICMT", &Id3TagSet::Comment},
    {"IGNR", &Id3TagSet::Genre},
    {"ITRK", &Id3TagSet::Track},
}};

struct RiffTagChunks {
    // The texts of kInfoFields.
    Id3TagSet Info;
    // The ID3v2 tag of an "id3 " (WAV) or "ID3 " (WAV, AIFF) chunk, header included; empty
    // when there is none.
    std::vector<uint8_t> Id3;
};

// A RIFF/WAVE file's chunks are little-endian, a FORM/AIFF or AIFC file's big-endian; any other
// file gives the empty result.
RiffTagChunks ReadRiffTagChunks(const std::string& path);

}  // namespace varnook
