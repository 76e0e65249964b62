// Whole-file operations of the pipeline and the encoder step: copy, delete, and the move that
// replaces its target. All throw FileError on failure.
#pragma once

#include <string>

namespace varnook {

// Copies the bytes of `from` into `to`, creating or emptying `to` first.
void CopyFile(const std::string& from, const std::string& to);

// Deletes the file.
void RemoveFile(const std::string& path);

// RemoveFile for a leftover that may or may not be there: nothing happens when it is not.
void RemoveIfPresent(const std::string& path);

// Moves `from` to `to`, replacing an existing `to`. `from` is flushed to disk first. The
// target is never deleted first: on one
// file system a rename swaps it in atomically; across file systems the bytes are copied to a
// temporary name beside the target, flushed, and renamed over it, and `from` is deleted after.
// Either way a crash leaves the old target or the new one, never neither.
void ReplaceByRename(const std::string& from, const std::string& to);

}  // namespace varnook
