// The tags of a source of any format, as the encoder step needs them: the two tag sets that
// decide the seven fields handed to lame (source_tags), and every other frame carried whole into
// the new MP3 (carry_over). Both are keyed by the source's path and take the reader the format
// table (formats/) names for its extension, so a format that becomes a source brings its tags
// along by the same rules:
// - Id3 (MP3): the ID3v1 tag and the ID3v2 tag at the start of the file, read by Varnook's own
//   readers (id3_reader.h);
// - Chunks (WAV, AIFF): the LIST/INFO chunk as the version 1 set and the ID3 chunk as the
//   version 2 set (riff_tag_chunks.h);
// - TagLib (FLAC and Ogg's Vorbis comments, ..., and any extension the table does not know):
//   whatever tag TagLib can open, as the version 2 set, by the names of tag_mapping.h.
// TagLib is used in this folder only. Never writes to the source, never logs.
#pragma once

#include <string>

#include "base/id3_tags.h"
#include "formats/formats.h"

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

// What puts a source into an album by its tags: its album, and its album artist or, where it
// has none, its artist; the version 2 set's text where it has one. Read by the same readers as
// the tag sets, so every format that is a source takes part.
struct AlbumTags {
    std::string Album;
    std::string Artist;
};

AlbumTags ReadAlbumTags(const std::string& path);

// The reader for `path`: its format's, TagLib for an extension the table does not know.
TagReader TagReaderOf(const std::string& path);

}  // namespace varnook
