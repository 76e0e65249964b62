#include "library/sources.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/host.h"
#include "io/paths.h"
#include "library/walk.h"
#include "pipeline/output_naming.h"

namespace varnook {
namespace {

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// The destination of a file found below a folder source: the destination folder's mirror of
// the file's folder, made when missing. `parts` is `dest` taken apart.
std::string MirroredDest(const std::string& dest, const PathParts& parts, const std::string& mirror)
{
    if (dest.empty() || mirror.empty() || parts.Folder.empty()) return dest;
    std::error_code ec;
    std::filesystem::create_directories(parts.Folder + mirror, ec);
    return parts.Folder + mirror + parts.Base + parts.Ext;
}

}  // namespace

std::vector<RunItem> CollectSources(const std::vector<std::string>& sources, const std::vector<std::string>& missing,
                                    const std::string& dest, OutputFormat output, Host& host)
{
    std::vector<RunItem> items;
    const PathParts destParts = dest.empty() ? PathParts{} : SplitDestination(dest, RealFileProbe());
    std::vector<std::string> notEntered;
    if (!dest.empty()) notEntered.push_back(destParts.Folder);
    for (const std::string& source : sources) {
        const bool isMissing = std::find(missing.begin(), missing.end(), source) != missing.end();
        if (isMissing || !IsFolder(source)) {
            items.push_back({source, dest, isMissing});
            continue;
        }
        const std::vector<LibrarySource> found = WalkLibrary(source, output, notEntered);
        if (std::none_of(found.begin(), found.end(), [](const LibrarySource& file) { return file.PassedOver.empty(); }))
            host.LogLine("No sources in " + source);
        for (const LibrarySource& file : found) {
            const bool taken = file.PassedOver.empty() && file.Failure.empty();
            items.push_back({file.Path, taken ? MirroredDest(dest, destParts, file.MirrorFolder) : dest, false, file.MirrorFolder,
                             file.Failure, file.PassedOver});
        }
    }
    return items;
}

bool AnyFolder(const std::vector<std::string>& sources)
{
    return std::any_of(sources.begin(), sources.end(), IsFolder);
}

}  // namespace varnook
