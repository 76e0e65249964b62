// Replacing a file without ever leaving half of one: the new contents go to a temporary file
// beside the target, reach the disk, and are renamed over the target, so a crash leaves the old
// file or the new one. The target is never deleted first. The settings file and the moves of
// the pipeline and the encoder step replace their files this way.
#pragma once

#include <functional>
#include <string>

#include "io/file.h"

namespace varnook {

// Has `write` fill `temp` (a new file in the target's folder, so the rename stays on one file
// system), flushes it to the disk, closes it and renames it over `target`. On any failure the
// temporary file is removed and the error (FileError for the file's own trouble) passed on.
// The new name is not yet durable: see SyncFolderOf.
void ReplaceThroughTemp(File temp, const std::string& target, const std::function<void(File& temp)>& write);

// Flushes the folder that holds `path` to the disk: a rename is durable only once the folder
// entry is. Throws FileError; a file system that cannot flush a folder (EINVAL) keeps its names
// by its own rules and passes.
void SyncFolderOf(const std::string& path);

}  // namespace varnook
