// Any output's tag as mutagen reads it, one line per frame or comment, for tests that compare
// tags frame by frame.
#pragma once

#include <string>
#include <vector>

namespace varnook::test {

// The lines, sorted. ID3 frames (an MP3's, a WAV's ID3 chunk) as mutagen keys them (TDRC read as
// TYER, the form lame writes), Vorbis comments by their names; a picture as "type mime SHA-1"
// under "APIC:<description>" or "PICTURE:<description>", other binary data as its SHA-1.
std::vector<std::string> DumpTags(const std::string& path);

// The value of the first line of `key`, or "" when there is none.
std::string TagValue(const std::vector<std::string>& lines, const std::string& key);

}  // namespace varnook::test
