// The tags of the outputs lame does not write. FLAC, Ogg Opus and Ogg Vorbis files get Vorbis
// comments and picture blocks; a WAV file gets a LIST/INFO chunk of the seven fields and an
// ID3v2 tag in an "ID3 " chunk, which players read both. Each carries the seven fields the user
// keeps and the source's other frames as the carry-over (carry_over.h) chose them, drop list
// and all, through the one table of tag_mapping.h. TagLib writes them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/id3_tags.h"
#include "base/output_format.h"

namespace varnook {

class CarriedFrames;

// The room a FLAC output should leave for these tags (its PADDING block), so that writing them
// moves no audio.
size_t OutputTagRoom(const Id3TagSet& fields, const CarriedFrames& carried);

// Writes `fields` (the texts of the seven fields the output carries, see KeptTags) and the
// frames of `carried` into the finished output at `path` of `format` (Flac, Opus, Vorbis or Wav),
// in place of any tag it had. A `provenance` (provenance.h) goes into a FLAC, Opus or Vorbis
// output as the comment VARNOOKPROVENANCE, in place of one carried from the source; a WAV keeps
// its own in a chunk, so for a WAV it must be empty. A WAV's old tag chunks before its samples
// are zeroed and left as JUNK, so that no sample moves; the new ones follow the samples. True
// when they were written and the file reads back whole; false when it could not be read or
// written, and it must not then be used.
bool WriteOutputTags(const std::string& path, OutputFormat format, const Id3TagSet& fields,
                     const CarriedFrames& carried, const std::string& provenance = {});

// The provenance comment of the FLAC, Opus or Ogg Vorbis file at `path`; none for another file,
// one without it, or one that cannot be read.
std::optional<std::string> ReadProvenanceComment(const std::string& path);

}  // namespace varnook
