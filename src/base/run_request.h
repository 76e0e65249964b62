// The Run request: the paths of the file in hand. Never stored in the settings file.
#pragma once

#include <string>
#include <vector>

namespace varnook {

struct RunRequest {
    std::string SourcePath;  // the file to process; empty means window mode
    std::vector<std::string> RunSources;  // every source of the run: no output may replace one
    std::string DestPath;    // batch-mode destination pattern; empty means beside the source
    std::string TempPath;    // the work temporary file: SourceFolder + "VRK.tmp"
    std::string WorkPath;    // the WAV file the current step works on

    std::string SourceFolder, SourceBase, SourceExt;
    std::string OutputFolder, OutputBase, OutputExt, OutputPath;
};

}  // namespace varnook
