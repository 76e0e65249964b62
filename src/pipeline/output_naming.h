// The name of one file's output: where the result goes and in which format (with "dest" and
// its say over both). Pure rules over path texts;
// the file system is asked only through the probe, so the rules can be checked as a table.
#pragma once

#include <functional>
#include <string>

#include "base/output_format.h"
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
    OutputFormat Format = OutputFormat::Wav;  // what is written; a destination's extension decides it
};

// A destination taken apart as NameOutput takes it: its folder (empty for the source's), base
// name and extension. One without an extension after its last "/", or naming an existing folder
// (".", "..", "/srv/my.music"), is all folder, ending in "/".
PathParts SplitDestination(const std::string& destPath, const FileProbe& probe);

// Without a destination the output sits beside the source, in `format` (the one the settings
// choose, see ChosenOutput) under its extension (".mp3", ".wav", ".flac", ".opus", ".ogg"). A
// destination fills in what it names: its folder (made before the run when missing; none means
// the source's folder), an empty base name the source's, and its extension decides the format
// (in any letter case, by the format table's rows that write; the run refuses any other); a
// destination that is all folder (see SplitDestination) keeps `format`.
// An output that would name the source itself gets "_" before its base name; so does one that
// would name the WAV twin of a converted source ("song.wav" for "song.flac").
OutputName NameOutput(const std::string& sourcePath, const std::string& destPath, OutputFormat format,
                      const FileProbe& probe);

}  // namespace varnook
