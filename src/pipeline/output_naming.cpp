#include "pipeline/output_naming.h"

#include "formats/formats.h"
#include "io/exist_file.h"

namespace varnook {
namespace {

constexpr const char* kRenamePrefix = "_";

// The format written under a /dest extension: its row's when the format table has one that
// writes; anything else is written as WAV under the name given, as encoding off does.
OutputFormat WrittenUnder(const std::string& ext)
{
    const Format* format = FindFormat(ext);
    return format != nullptr && format->Output ? *format->Output : OutputFormat::Wav;
}

}  // namespace

FileProbe RealFileProbe()
{
    return {[](const std::string& folder) { return ExistFile(folder); },
            [](const std::string& a, const std::string& b) { return SameFile(a, b); }};
}

PathParts SplitDestination(const std::string& destPath, const FileProbe& probe)
{
    PathParts dest = SplitPath(destPath);
    const std::string asFolder = destPath.empty() || destPath.back() == '/' ? destPath : destPath + "/";
    // An existing folder is one however it is written: "/srv/my.music", ".", "..".
    // "/srv/out" or "/srv/out/": a folder for the result, under the source's own name.
    if (dest.Ext.empty() || probe.FolderExists(asFolder)) dest = {asFolder, "", ""};
    return dest;
}

OutputName NameOutput(const std::string& sourcePath, const std::string& destPath, OutputFormat format,
                      const FileProbe& probe)
{
    const PathParts source = SplitPath(sourcePath);
    OutputName out;
    out.Folder = source.Folder;
    out.Base = source.Base;
    out.Format = format;

    if (destPath.empty()) {
        out.Ext = OutputExtension(format);
    } else {
        const PathParts dest = SplitDestination(destPath, probe);
        if (!dest.Folder.empty()) out.Folder = dest.Folder;
        if (!dest.Base.empty()) out.Base = dest.Base;
        // A folder keeps the format as it was; an extension decides it.
        out.Ext = dest.Ext.empty() ? std::string(OutputExtension(format)) : dest.Ext;
        out.Format = WrittenUnder(out.Ext);
    }

    out.Path = out.Folder + out.Base + out.Ext;
    // A converted source is named as the WAV it becomes would be: "song.flac", like "song.wav",
    // gives "_song.wav" beside itself, so a song.wav of the user's own there is never replaced.
    const Format* sourceFormat = FormatOf(sourcePath);
    const bool converted = sourceFormat != nullptr && sourceFormat->Kind == FormatKind::Converted;
    const std::string wavTwin = source.Folder + source.Base + std::string(OutputExtension(OutputFormat::Wav));
    if (probe.SameFile(out.Path, sourcePath) || (converted && probe.SameFile(out.Path, wavTwin))) {
        out.Path = out.Folder + kRenamePrefix + out.Base + out.Ext;
    }
    return out;
}

}  // namespace varnook
