// The name of one file's output: where the result goes (with "dest" and its say over
// encoding). Pure rules over path texts;
// the file system is asked only through the probe, so the rules can be checked as a table.
#pragma once

#include <functional>
#include <string>

#include "io/paths.h"

namespace varnook {

struct FileProbe {
    // True when the text names an existing folder (a trailing "/" is given).
    std::function<bool(const std::string&)> FolderExists;
    // True when both texts name the same file.
    std::function<bool(const std::string&, const std::string&)> SameFile;
};

// The probe that asks the file system.
FileProbe RealFileProbe();

struct OutputName {
    std::string Folder;
    std::string Base;
    std::string Ext;
    std::string Path;
    bool Encode = false;  // whether the result is encoded; a destination decides it
};

// A destination taken apart as NameOutput takes it: its folder (empty for the source's), base
// name and extension. One without an extension after its last "/", or naming an existing folder
// (".", "..", "/srv/my.music"), is all folder, ending in "/".
PathParts SplitDestination(const std::string& destPath, const FileProbe& probe);

// Without a destination the output sits beside the source, as MP3 when encoding and WAV when
// not. A destination fills in what it names: its folder (made before the run when missing;
// none means the source's folder), an empty base name the source's, and its extension decides
// the encoding (".mp3" in any letter case encodes, anything else does not); a destination that
// is all folder (see SplitDestination) keeps the encoding as it was.
// An output that would name the source itself gets "_" before its base name; so does one that
// would name the WAV twin of a converted source ("song.wav" for "song.flac").
OutputName NameOutput(const std::string& sourcePath, const std::string& destPath, bool encode,
                      const FileProbe& probe);

}  // namespace varnook
