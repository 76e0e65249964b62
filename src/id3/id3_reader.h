// ID3 tags: reads the version 1 tag at the end and the version 2 tag at the start of an MP3
// file into tag sets, so that an MP3 encoded again keeps its title, artist and the rest.
// Depends only on io/ (files, errors) and the Host interface for the error box; never on the
// pipeline, the encoder or Qt.
//
// The readers never write to the file and never log a line. A file error (a missing or
// unreadable file) gives the empty set. Malformed tags give an empty or partial set; nothing in
// a file can make a reader read past its buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/id3_tags.h"

namespace varnook {

class Host;

// The 128-byte tag at the end of the file, in its 1.0 or 1.1 form (1.1 puts the track number in
// the comment's last byte).
Id3TagSet GetId3v1(const std::string& path);

// The version 2.2, 2.3 or 2.4 tag at the start of the file. Its body is read whole, so its size
// is limited to under 2^28 bytes and to the file's length; both are checked before anything is
// allocated. When `albumArtist` is given it gets the tag's album artist (TPE2; TP2 in version
// 2.2), empty when there is none: not one of the seven fields, it only groups a library's files
// into albums.
Id3TagSet GetId3v2(const std::string& path, std::string* albumArtist = nullptr);

// The same from a whole tag (header and body) held in memory, such as a WAV file's "id3 "
// chunk; the chunk's size stands for the file's length.
Id3TagSet Id3v2FromBytes(std::span<const uint8_t> tag, std::string* albumArtist = nullptr);

// As above; an error other than a file error (running out of memory for a large tag body) first
// shows the error box "'GetId3v1' Error Number: ..." (or 'GetId3v2') on the host and then goes on
// to the caller.
Id3TagSet GetId3v1(const std::string& path, Host& host);
Id3TagSet GetId3v2(const std::string& path, Host& host);

}  // namespace varnook
