// The files of a run, collected from the sources it was given: files as named, folders as the
// walk finds their sources, each with the destination its output goes to.
#pragma once

#include <string>
#include <vector>

#include "base/output_format.h"

namespace varnook {

class Host;

// One file of a run: a source named on the command line or in the window's list, or found in a
// folder named there; or what the walk of a folder found instead of a source, which the run
// does not process but reports.
struct RunItem {
    std::string Path;
    std::string Dest;      // the destination for this file ("" for beside the source)
    bool Missing = false;  // named, but not there
    std::string Mirror = {};      // its folder below the folder source ("" or ending in "/"), for /plot
    std::string Failure = {};     // a folder the walk could not read: the log line saying why
    std::string PassedOver = {};  // a file the walk passed over: why; it is no file of the run
};

// The files of `sources` in order: a file as named, a folder's sources as WalkLibrary finds them
// for `output` (a folder without any is logged on `host`), with what the walk could not read
// or passed over; a source in `missing` is an item of its own, marked Missing. Under a folder
// source a destination folder `dest` is mirrored: the output goes to the same relative folder
// below it as the source has below the folder source, and the folders that are missing there
// are made. A destination folder inside a folder source is not walked.
std::vector<RunItem> CollectSources(const std::vector<std::string>& sources, const std::vector<std::string>& missing,
                                    const std::string& dest, OutputFormat output, Host& host);

// True when any of `sources` is a folder.
bool AnyFolder(const std::vector<std::string>& sources);

}  // namespace varnook
