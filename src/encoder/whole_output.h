// Whether a file lame says it finished is whole. lame's exit code is not enough: a decode whose
// writes failed on a full disk still exits 0, and so does an encode whose last buffered block
// could not be written when the file was closed. So the file itself is read back: the WAV must
// hold all the samples its header counts, and the MP3 must end on a frame boundary (or an ID3v1
// tag) with as many frames and bytes as its Info frame, when it has one, says lame wrote.
// Depends on io/ only.
#pragma once

#include <string>

namespace varnook {

// A decoded WAV: a RIFF header whose "data" chunk lies wholly within the file.
bool WavOutputWhole(const std::string& path);

// An encoded MP3 (MPEG audio layer III after an optional ID3v2 tag): every frame whole, nothing
// after the last but an ID3v1 tag, and the frame and byte counts of a leading Xing/Info frame
// met. A free-format stream (no frame lengths in its headers) cannot be walked and is taken
// as whole.
bool Mp3OutputWhole(const std::string& path);

}  // namespace varnook
