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
        PathParts dest = SplitPath(destPath);
        const std::string asFolder = destPath.back() == '/' ? destPath : destPath + "/";
        // An existing folder is one however it is written: "/srv/my.music", ".", "..".
        if (dest.Ext.empty() || probe.FolderExists(asFolder)) {
            // "/srv/out" or "/srv/out/": a folder for the result, under the source's own name.
            dest.Folder = asFolder;
            dest.Base.clear();
            dest.Ext = OutputExtension(format);
        }
        // The trailing "/" makes the test fail for a file of that name: only a folder will do.
        if (!dest.Folder.empty() && probe.FolderExists(dest.Folder)) out.Folder = dest.Folder;
        if (!dest.Base.empty()) out.Base = dest.Base;
        out.Ext = dest.Ext;
        out.Format = WrittenUnder(out.Ext);
    }

    out.Path = out.Folder + out.Base + out.Ext;
    if (probe.SameFile(out.Path, sourcePath)) {
        out.Path = out.Folder + kRenamePrefix + out.Base + out.Ext;
    }
    return out;
}

}  // namespace varnook
