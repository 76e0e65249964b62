// Folders as sources: which files of a folder tree a run takes, and in what order. A folder is
// walked depth first; within each folder the entries go in natural order ("track 2" before
// "track 10"). Hidden entries (a leading ".") and symbolic links to folders are passed over, so
// a link back up the tree cannot make the walk go round for ever.
#pragma once

#include <string>
#include <vector>

#include "base/output_format.h"

namespace varnook {

// A file the walk took, or what it found instead: a folder it could not read, or a file it
// passed over as the output of a source beside it. Each gets a row of the run's report.
struct LibrarySource {
    std::string Path;          // the file (or the folder that could not be read), absolute
    std::string MirrorFolder;  // its folder below the folder source, "" or ending in "/"
    std::string Failure = {};     // for a folder that could not be read: the log line saying why
    std::string PassedOver = {};  // for a file passed over: why ("the output of <source>")
};

// Natural order: runs of digits compare by their value, everything else without regard to
// letter case; names equal by that measure fall back to plain byte order, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// Every source below `folder` (absolute, with or without a trailing "/"), and what the walk
// found instead of one, in the order met. A file is taken when the format table takes it as a
// source (formats.h) and no sibling source would write it beside itself as `output` with no
// destination given: that is what an earlier run over the same folder left there ("_song.wav"
// beside "song.wav" without encoding, "song.mp3" beside "song.wav" with it); such a file is
// listed as passed over. Varnook's work files end in ".tmp" and are never taken. A folder that
// cannot be read (no permission, a path too long to open) is listed with its failure. The
// folders of `notEntered` (the run's destination, where the last run's outputs are) are never
// walked, under whatever name they are reached.
std::vector<LibrarySource> WalkLibrary(const std::string& folder, OutputFormat output,
                                       const std::vector<std::string>& notEntered);

// The sources of WalkLibrary alone, as a drop on the window takes them.
std::vector<LibrarySource> WalkFolder(const std::string& folder, OutputFormat output);

}  // namespace varnook
