// The Run request: the paths of the file in hand. Never stored in the settings file.
#pragma once

#include <memory>
#include <string>

namespace varnook {

class FileSet;
class SweptFolders;

struct RunRequest {
    std::string SourcePath;  // the file to process; empty means window mode
    // What the files of a run share, so that a file's cost does not grow with their number:
    // every source of the run, which no clean-up may remove, and the folders the run has swept
    // of leftover work files. Empty outside a run.
    std::shared_ptr<const FileSet> RunSources;
    std::shared_ptr<SweptFolders> Swept;
    std::string DestPath;    // batch-mode destination pattern; empty means beside the source
    std::string PlotFolder;  // /plot: where the run's trim pictures go as PNGs; empty: none
    std::string PlotPath;    // this file's picture below PlotFolder, named by the run; empty: none
    std::string ReportPath;  // batch-mode report file (".csv" or ".jsonl"); empty means none
    std::string TempPath;    // the work temporary file: OutputFolder + "VRK.tmp"
    std::string WorkPath;    // the WAV file the current step works on

    // The job of a library run that processes this file (0 when there is one job); it picks the
    // work file names, see WorkFileName.
    int Job = 0;
    // What the output is made from, written into it while "SkipDone" is on; empty otherwise.
    std::string Provenance;

    std::string SourceBase, SourceExt;
    std::string OutputFolder, OutputBase, OutputExt, OutputPath;
};

}  // namespace varnook
