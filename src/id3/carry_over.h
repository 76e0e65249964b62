// Carrying a source's whole tag into the MP3 that lame made from it: every frame the seven
// fields did not already carry, pictures byte for byte. Uses TagLib to read the frames (one by
// one, so a broken frame costs that frame only) and to write them into the new file's ID3v2
// tag, which stays version 2.3 as lame wrote it (TagLib turns 2.2 frames such as PIC into their
// 2.3 forms on the way; the few 2.4 frames 2.3 has no place for are left out by TagLib).
//
// Not carried:
// - the seven fields' frames (title, artist, album, year, track, genre, and the comment the
//   Comment field reads): the encoder wrote them from the tag sets and the user's choices;
// - what the new encode makes false: ReplayGain and R128 gain texts, RVA2, RVAD, RGAD and the
//   iTunNORM comment (the gain is now in the samples), the iTunSMPB comment (the old encode's
//   delay and padding), TLEN, TSSE and TENC (the new file has its own);
// - a frame the new file already holds (lame's own comments).
#pragma once

#include <string>
#include <vector>

namespace varnook {

struct CarryOverResult {
    // False when the new file could not be opened or written; it then holds lame's tag only.
    bool Written = true;
    // The identifiers of the source's frames that were broken and left out, in tag order.
    std::vector<std::string> BrokenFrames;
};

// Adds the frames of `sourcePath`'s tag (see source_tags.h for the formats) to the ID3v2 tag of
// `newMp3`. A source with nothing to carry leaves `newMp3` untouched.
CarryOverResult CarryOverTags(const std::string& sourcePath, const std::string& newMp3);

}  // namespace varnook
