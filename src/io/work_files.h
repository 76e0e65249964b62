// The names of Varnook's work files: the edited copy beside the source, the decoded WAV of an
// MP3 source when its own name is taken, and the encoder's output beside the output. Every name is
// made here, so that what creates a work file and what cleans one up cannot disagree.
#pragma once

#include <string>

namespace varnook {

enum class WorkFile {
    Edit,    // "VRK.tmp": the amplified and trimmed copy
    Decode,  // "VRKdec.tmp": an MP3 decoded where its own WAV name is the output
    Encode,  // "mp3.tmp": the encoder's output (lame's, or a library's) until it is complete
};

// The file name (no folder) of a work file of job `job`. Job 0, the only job of a run with one,
// keeps the names Varnook has always used; each other job gets names of its own, so that jobs
// working on files of one folder never share a work file. Every name ends in ".tmp", which no
// source has.
std::string WorkFileName(WorkFile kind, int job);

// True for a name WorkFileName gives, of any kind and any job.
bool IsWorkFileName(const std::string& name);

}  // namespace varnook
