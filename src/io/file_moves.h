// Whole-file operations of the pipeline and the encoder step: copy, delete, and the move that
// replaces its target. All throw FileError on failure.
#pragma once

#include <string>

namespace varnook {

// Copies the bytes of `from` into `to`, made new as a work file (see io/work_file.h).
void CopyFile(const std::string& from, const std::string& to);

// Deletes the file.
void RemoveFile(const std::string& path);

// RemoveFile for a leftover that may or may not be there: nothing happens when it is not.
void RemoveIfPresent(const std::string& path);

// Moves `from` to `to`, replacing an existing `to`: a rename, which swaps the target in
// atomically, so a crash leaves the old target or the new one, never neither. `from` is flushed
// to disk first and the target's folder after, so the new name outlives a power cut. Both must
// be on one file system: every work file is made beside its output for that (across file
// systems the rename fails, "74: Can't rename with different drive").
void ReplaceByRename(const std::string& from, const std::string& to);

}  // namespace varnook
