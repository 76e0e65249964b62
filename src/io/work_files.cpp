#include "io/work_files.h"

namespace varnook {

std::string WorkFileName(WorkFile kind, int job)
{
    const char* stem = kind == WorkFile::Edit ? "VRK" : kind == WorkFile::Decode ? "VRKdec" : "mp3";
    // "VRK.tmp" for job 0, "VRK.2.tmp" for job 2.
    return std::string(stem) + (job == 0 ? "" : "." + std::to_string(job)) + ".tmp";
}

}  // namespace varnook
