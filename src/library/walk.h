// Folders as sources: which files of a folder tree a run takes, and in what order. A folder is
// walked depth first; within each folder the entries go in natural order ("track 2" before
// "track 10"). Hidden entries (a leading ".") and symbolic links to folders are passed over, so
// a link back up the tree cannot make the walk go round for ever.
#pragma once

#include <string>
#include <vector>

#include "base/output_format.h"

namespace varnook {

struct LibrarySource {
    std::string Path;          // the file, absolute
    std::string MirrorFolder;  // its folder below the folder source, "" or ending in "/"
    bool FromFolder = false;   // false for a file named on its own
};

// Natural order: runs of digits compare by their value, everything else without regard to
// letter case; names equal by that measure fall back to plain byte order, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// Every source below `folder` (absolute, with or without a trailing "/"). A file is taken when
// the format table takes it as a source (formats.h) and no sibling source would write it beside
// itself as `output` with no destination given: that is what an earlier run over the same
// folder left there ("_song.wav" beside "song.wav" without encoding, "song.mp3" beside "song.wav" with it).
// Varnook's work files end in ".tmp" and are never taken. Unreadable folders are passed over.
std::vector<LibrarySource> WalkFolder(const std::string& folder, OutputFormat output);

}  // namespace varnook
