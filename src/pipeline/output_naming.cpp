#include "pipeline/output_naming.h"

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
        PathParts dest = SplitPath(destPath);
        const std::string asFolder = destPath.back() == '/' ? destPath : destPath + "/";
        // An existing folder is one however it is written: "/srv/my.music", ".", "..".
        if (dest.Ext.empty() || probe.FolderExists(asFolder)) {
            // "/srv/out" or "/srv/out/": a folder for the result, under the source's own name.
            dest.Folder = asFolder;
            dest.Base.clear();
            dest.Ext = encode ? kMp3Ext : kWavExt;
        }
        // The trailing "/" makes the test fail for a file of that name: only a folder will do.
        if (!dest.Folder.empty() && probe.FolderExists(dest.Folder)) out.Folder = dest.Folder;
        if (!dest.Base.empty()) out.Base = dest.Base;
        out.Ext = dest.Ext;
        out.Encode = EqualsNoCase(out.Ext, kMp3Ext);
    }

    out.Path = out.Folder + out.Base + out.Ext;
    if (probe.SameFile(out.Path, sourcePath)) {
        out.Path = out.Folder + kRenamePrefix + out.Base + out.Ext;
    }
    return out;
}

}  // namespace varnook
