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

// Without a destination the output sits beside the source, in `format` (the one the settings
// choose, see ChosenOutput) under its extension (".mp3", ".wav", ".flac", ".opus", ".ogg"). A
// destination fills in what it names: a folder that does not exist (or none) falls back to the
// source's folder, an empty base name to the source's, and its extension decides the format (in
// any letter case, by the format table's rows that write; any other extension gets a WAV). A
// destination without an extension after its last "/", or naming an existing folder (".", "..",
// "/srv/my.music"), is taken whole as a folder, keeping `format`.
// An output that would name the source itself gets "_" before its base name.
OutputName NameOutput(const std::string& sourcePath, const std::string& destPath, OutputFormat format,
                      const FileProbe& probe);

}  // namespace varnook
