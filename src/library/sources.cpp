#include "library/sources.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/host.h"
#include "io/exist_file.h"
#include "io/paths.h"
#include "library/walk.h"

namespace varnook {
namespace {

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// The destination of a file found below a folder source: the destination folder's mirror of
// the file's folder, made when missing. A destination whose folder does not exist is left as
// it is, so the output goes where it would have gone for a file named on its own.
std::string MirroredDest(const std::string& dest, const std::string& mirror)
{
    if (dest.empty() || mirror.empty()) return dest;
    const PathParts parts = SplitPath(dest);
    std::string folder = parts.Folder;
    std::string name = parts.Base + parts.Ext;
    if (parts.Ext.empty()) {
        folder = dest.back() == '/' ? dest : dest + "/";
        name.clear();
    }
    if (folder.empty() || !ExistFile(folder)) return dest;
    std::error_code ec;
    std::filesystem::create_directories(folder + mirror, ec);
    return folder + mirror + name;
}

}  // namespace

std::vector<RunItem> CollectSources(const std::vector<std::string>& sources, const std::vector<std::string>& missing,
                                    const std::string& dest, OutputFormat output, Host& host)
{
    std::vector<RunItem> items;
    for (const std::string& source : sources) {
        const bool isMissing = std::find(missing.begin(), missing.end(), source) != missing.end();
        if (isMissing || !IsFolder(source)) {
            items.push_back({source, dest, isMissing});
            continue;
        }
        const std::vector<LibrarySource> found = WalkFolder(source, output);
        if (found.empty()) host.LogLine("No sources in " + source);
        for (const LibrarySource& file : found) items.push_back({file.Path, MirroredDest(dest, file.MirrorFolder)});
    }
    return items;
}

bool AnyFolder(const std::vector<std::string>& sources)
{
    return std::any_of(sources.begin(), sources.end(), IsFolder);
}

}  // namespace varnook
