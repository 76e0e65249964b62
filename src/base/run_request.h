// The Run request: the paths of the file in hand. Never stored in the settings file.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace varnook {

class AlbumLink;  // pipeline/album_link.h

struct RunRequest {
    std::string SourcePath;  // the file to process; empty means window mode
    // Every source of the run, no output may replace one; shared by the run's files, since a
    // copy for each would make a file's cost grow with the number of files.
    std::shared_ptr<const std::vector<std::string>> RunSources;
    std::string DestPath;    // batch-mode destination pattern; empty means beside the source
    std::string PlotFolder;  // /plot: where each source's trim picture goes as a PNG; empty: none
    std::string ReportPath;  // batch-mode report file (".csv" or ".jsonl"); empty means none
    std::string TempPath;    // the work temporary file: SourceFolder + "VRK.tmp"
    std::string WorkPath;    // the WAV file the current step works on

    // The job of a library run that processes this file (0 when there is one job); it picks the
    // work file names, see WorkFileName.
    int Job = 0;
    // What the output is made from, written into it while "SkipDone" is on; empty otherwise.
    std::string Provenance;
    // In album mode, the album this file is a track of; null otherwise.
    std::shared_ptr<AlbumLink> Album;

    std::string SourceFolder, SourceBase, SourceExt;
    std::string OutputFolder, OutputBase, OutputExt, OutputPath;
};

}  // namespace varnook
