// The names of Varnook's work files, all beside the output (never beside a source, which may be
// read-only): the edited copy, the decoded or converted source, and the encoder's output. Every
// name is made here, so that what creates a work file and what cleans one up cannot disagree.
#pragma once

#include <string>

namespace varnook {

enum class WorkFile {
    Edit,    // "VRK.tmp": the amplified and trimmed copy
    Decode,  // "VRKdec.tmp": a source decoded or converted to a WAV, or copied for a header repair
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
