#include "pipeline/output_naming.h"

#include "formats/formats.h"
#include "io/exist_file.h"
#include "io/text.h"

namespace varnook {
namespace {

constexpr const char* kMp3Ext = ".mp3";
constexpr const char* kWavExt = ".wav";
constexpr const char* kRenamePrefix = "_";

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

OutputName NameOutput(const std::string& sourcePath, const std::string& destPath, bool encode,
                      const FileProbe& probe)
{
    const PathParts source = SplitPath(sourcePath);
    OutputName out;
    out.Folder = source.Folder;
    out.Base = source.Base;
    out.Encode = encode;

    if (destPath.empty()) {
        out.Ext = encode ? kMp3Ext : kWavExt;
    } else {
        const PathParts dest = SplitDestination(destPath, probe);
        if (!dest.Folder.empty()) out.Folder = dest.Folder;
        if (!dest.Base.empty()) out.Base = dest.Base;
        // A folder keeps the encoding as it was; an extension decides it.
        out.Ext = dest.Ext.empty() ? (encode ? kMp3Ext : kWavExt) : dest.Ext;
        out.Encode = EqualsNoCase(out.Ext, kMp3Ext);
    }

    out.Path = out.Folder + out.Base + out.Ext;
    // A converted source is named as the WAV it becomes would be: "song.flac", like "song.wav",
    // gives "_song.wav" beside itself, so a song.wav of the user's own there is never replaced.
    const Format* format = FormatOf(sourcePath);
    const bool converted = format != nullptr && format->Kind == FormatKind::Converted;
    if (probe.SameFile(out.Path, sourcePath) ||
        (converted && probe.SameFile(out.Path, source.Folder + source.Base + kWavExt))) {
        out.Path = out.Folder + kRenamePrefix + out.Base + out.Ext;
    }
    return out;
}

}  // namespace varnook
