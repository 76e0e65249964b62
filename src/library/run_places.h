// Where a run writes, settled before its first file starts: the places the command line names
// (/dest, /report, /plot) are checked and made, every output and picture is named and claimed by
// one source, and a picture's place is cleared before the painter is asked. So nothing is ever
// written through a link, over a source of the run, or by two sources under one name.
#pragma once

#include <string>
#include <vector>

namespace varnook {

class Host;
struct RunItem;
struct RunRecords;
struct RunRequest;
struct TrimPicture;

// Gets /dest, /report and /plot of a batch over `sources` (absolute, as the command line names
// them) ready, or says why they cannot be: the usage error, or empty. /dest's extension must be
// one the format table writes, and its folder is made with its parents; /report and /plot may
// name no link, FIFO, device or source of the run, and /report's folder is made. The three
// paths are made absolute in `request`.
std::string PrepareRunPlaces(RunRequest& request, const std::vector<std::string>& sources);

// What the files of a run write, by item, named before the first file starts.
struct RunClaims {
    std::vector<std::string> Plots;     // its /plot picture, absolute; "" for none
    std::vector<std::string> Refusals;  // why it may not be processed, as logged; "" when it may
};

// Names every output (as the pipeline does) and every picture: PlotFolder, the item's folder
// below its folder source, its file name and ".png". Every name is claimed once, sources first:
// an output that is a source of the run is refused ("Could not write over a source of this run:
// <output>"), and a name claimed before is refused for every later source ("Output named twice:
// <name> (<first source> and <this source>)").
RunClaims ClaimPlaces(const std::vector<RunItem>& items, const RunRecords& run);

enum class PictureEnd {
    NotDrawn,  // no picture asked for, or a host that draws none
    Written,   // the picture is at its PlotPath
    Failed,    // it is not; "The picture could not be written: <path>" is logged
};

// Hands a finished picture to `painter`, which writes it to its PlotPath: first its folder is
// made and whatever file or link is at the name removed, never followed. A name that cannot be
// cleared (a folder, a FIFO, a device there) or a folder that cannot be made is a failure, and
// the painter then gets the picture without a PlotPath.
PictureEnd PaintPicture(Host& painter, TrimPicture picture);

}  // namespace varnook
