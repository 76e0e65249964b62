// The tags of a source of any format, as the encoder step needs them: the two tag sets that
// decide the seven fields handed to lame (source_tags), and every other frame carried whole into
// the new MP3 (carry_over). Both are keyed by the source's path and pick the reader by its
// extension, so a format that becomes a source brings its tags along by the same rules:
// - ".mp3": the ID3v1 tag and the ID3v2 tag at the start of the file, read by Varnook's own
//   readers (id3_reader.h);
// - ".wav", ".aif", ".aiff", ".aifc": the LIST/INFO chunk as the version 1 set and the ID3 chunk
//   as the version 2 set (riff_tag_chunks.h);
// - anything else TagLib can open (FLAC and Ogg Vorbis comments, ...): its tag as the
//   version 2 set, by the names of tag_mapping.h.
// TagLib is used in this folder only. Never writes to the source, never logs.
#pragma once

#include <string>

#include "base/id3_tags.h"

namespace varnook {

class Host;

struct SourceTagSets {
    Id3TagSet V1;
    Id3TagSet V2;
};

// Empty sets for a file with no tags, a file that cannot be read, or a format nothing here
// reads. Several values of one field are joined with "/".
SourceTagSets ReadSourceTagSets(const std::string& path);

// As above; for an MP3 an error other than a file error first shows its error box on the host,
// as GetId3v1 and GetId3v2 do, and then goes on to the caller.
SourceTagSets ReadSourceTagSets(const std::string& path, Host& host);

// How a source's path is told apart: its extension, lower case, "" when it has none.
enum class TagSource { Mp3, RiffChunks, OtherFormat };
TagSource TagSourceOf(const std::string& path);

}  // namespace varnook
