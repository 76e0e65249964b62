// Work files: the files Varnook writes under fixed names ("VRK.tmp", "mp3.tmp", ...) before a
// result is renamed into place. Anyone who may write in a folder could have put something at
// such a name, a symbolic link above all, and writing through it would rewrite the file it
// points to, or make one wherever a dangling link points. So a work file is always made new:
// whatever is at its name is removed (never followed), then the file is created exclusively.
#pragma once

#include <string>

#include "io/file.h"

namespace varnook {

// Removes the file or link at `path` without following the link; nothing at all is fine.
// Anything else at the name (a folder, a device, a FIFO) is left alone and refused (FileError 75).
void RemoveWorkFile(const std::string& path);

// A new, empty regular file at `path`, open for reading and writing, with the mode 0666 less
// the umask, after RemoveWorkFile. Never opens through a link: one planted between the removal
// and the creation makes the creation fail.
File CreateWorkFile(const std::string& path);

}  // namespace varnook
