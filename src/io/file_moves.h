// Whole-file operations of the pipeline and the encoder step: copy, delete, and the move that
// replaces its target. All throw FileError on failure.
#pragma once

#include <string>

namespace varnook {

// The work file a move across file systems copies to, in the target's folder. Callers that
// hold the folder remove one a killed run left there.
inline constexpr const char* kMoveWorkName = "VRKmove.tmp";

// Copies the bytes of `from` into `to`, made new as a work file (see io/work_file.h).
void CopyFile(const std::string& from, const std::string& to);

// Deletes the file.
void RemoveFile(const std::string& path);

// RemoveFile for a leftover that may or may not be there: nothing happens when it is not.
void RemoveIfPresent(const std::string& path);

// Moves `from` to `to`, replacing an existing `to`. `from` is flushed to disk first. The
// target is never deleted first: on one file system a rename swaps it in atomically; across
// file systems the bytes are copied to kMoveWorkName beside the target (mode 0666 less the
// umask, as a rename on one file system would give), flushed, and renamed over it, and `from`
// is deleted after. Either way a crash leaves the old target or the new one, never neither, and
// the target's folder is flushed after the rename, so the new name outlives a power cut.
// The caller holds the target's folder: the work name is the same for every move into it.
void ReplaceByRename(const std::string& from, const std::string& to);

}  // namespace varnook
