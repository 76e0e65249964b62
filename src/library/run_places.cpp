#include "library/run_places.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <system_error>

#include "base/context.h"
#include "base/host.h"
#include "base/trim_picture.h"
#include "formats/formats.h"
#include "io/errors.h"
#include "io/paths.h"
#include "io/work_file.h"
#include "library/sources.h"
#include "pipeline/output_naming.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPlotExtension = ".png";
constexpr const char* kPictureNotWritten = "The picture could not be written: ";

// The folder, with its parents, made when missing; the reason it could not be, or empty.
std::string MadeFolder(const std::string& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    return ec ? FileErrorFromErrno(ec.value()).LogText() : std::string();
}

// The folder resolved (links and "..") with its trailing "/", or empty when it does not resolve.
std::string Resolved(const std::string& folder)
{
    const std::string resolved = ResolvedPath(folder);
    return resolved.empty() || resolved.back() == '/' ? resolved : resolved + "/";
}

// True when `path` is a source of a run over `sources`: one of them, or a file that one of them,
// a folder, would take.
bool IsSourceOfRun(const std::string& path, const std::vector<std::string>& sources)
{
    const std::string folder = Resolved(FolderOf(path));
    for (const std::string& source : sources) {
        if (SameFile(source, path)) return true;
        std::error_code ec;
        if (!fs::is_directory(source, ec) || !TakesAsSource(path) || folder.empty()) continue;
        const std::string sourceFolder = Resolved(source);
        if (!sourceFolder.empty() && folder.compare(0, sourceFolder.size(), sourceFolder) == 0) return true;
    }
    return false;
}

// Why the run may not write to `path` through the key `key`, or empty: a link, a source of the
// run, or something other than what the key names (`folder`: a folder; otherwise a regular file).
std::string PathRefusal(const std::string& key, const std::string& path, bool folder,
                        const std::vector<std::string>& sources)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    const std::string named = "/" + key + " " + path;
    if (S_ISLNK(st.st_mode)) return named + " is a link";
    if (IsSourceOfRun(path, sources)) return named + " is a source of this run";
    if (folder && !S_ISDIR(st.st_mode)) return named + " is not a folder";
    if (!folder && !S_ISREG(st.st_mode)) return named + " is not a regular file";
    return {};
}

// ".wav, .mp3, .flac, .ogg or .opus": the extensions the format table writes.
std::string WrittenExtensions()
{
    std::vector<std::string_view> written;
    for (const Format& format : Formats())
        if (format.Writes()) written.push_back(format.Ext);
    std::string list;
    for (size_t i = 0; i < written.size(); ++i) {
        if (i > 0) list += i + 1 == written.size() ? " or " : ", ";
        list += written[i];
    }
    return list;
}

std::string PrepareDest(RunRequest& request)
{
    if (request.DestPath.empty()) return {};
    PathParts dest = SplitDestination(request.DestPath, RealFileProbe());
    if (!dest.Ext.empty()) {
        const Format* format = FindFormat(dest.Ext);
        if (format == nullptr || !format->Writes())
            return "/dest takes a folder or a name ending in " + WrittenExtensions() + ", not \"" + request.DestPath +
                   "\"";
    }
    // A destination without a folder ("/dest .mp3") puts every output beside its source.
    if (dest.Folder.empty()) return {};
    dest.Folder = AbsolutePath(dest.Folder);
    if (const std::string failure = MadeFolder(dest.Folder); !failure.empty())
        return "/dest folder " + dest.Folder + " could not be made: " + failure;
    request.DestPath = dest.Folder + dest.Base + dest.Ext;
    return {};
}

std::string PrepareReport(RunRequest& request, const std::vector<std::string>& sources)
{
    if (request.ReportPath.empty()) return {};
    request.ReportPath = AbsolutePath(request.ReportPath);
    if (std::string refusal = PathRefusal("report", request.ReportPath, false, sources); !refusal.empty())
        return refusal;
    const std::string folder = FolderOf(request.ReportPath);
    if (const std::string failure = MadeFolder(folder); !failure.empty())
        return "/report folder " + folder + " could not be made: " + failure;
    return {};
}

// Unlike /dest's, /plot's folder is made as each picture goes there: one that cannot be made
// fails the pictures, not the run.
std::string PreparePlot(RunRequest& request, const std::vector<std::string>& sources)
{
    if (request.PlotFolder.empty()) return {};
    request.PlotFolder = AbsolutePath(request.PlotFolder);
    return PathRefusal("plot", request.PlotFolder, true, sources);
}

// The name under which two paths that name one file meet: the folder resolved, and the name.
// A folder that does not exist yet (a picture's) keeps its text.
class ClaimKeys {
public:
    std::string KeyOf(const std::string& path)
    {
        const std::string folder = FolderOf(path);
        auto [known, added] = folders_.try_emplace(folder);
        if (added) {
            known->second = Resolved(folder);
            if (known->second.empty()) known->second = AbsolutePath(folder);
        }
        return known->second + path.substr(folder.size());
    }

private:
    std::map<std::string, std::string> folders_;
};

}  // namespace

std::string PrepareRunPlaces(RunRequest& request, const std::vector<std::string>& sources)
{
    std::string refusal = PrepareDest(request);
    if (refusal.empty()) refusal = PrepareReport(request, sources);
    if (refusal.empty()) refusal = PreparePlot(request, sources);
    return refusal;
}

RunClaims ClaimPlaces(const std::vector<RunItem>& items, const RunRecords& run)
{
    RunClaims claims;
    claims.Plots.resize(items.size());
    claims.Refusals.resize(items.size());
    const auto processed = [](const RunItem& item) {
        return !item.Missing && item.Failure.empty() && item.PassedOver.empty();
    };

    // Who holds each name: a source holds its own, an item its output and its picture.
    struct Holder {
        size_t item;
        bool source;
    };
    ClaimKeys keys;
    std::map<std::string, Holder> held;
    for (size_t i = 0; i < items.size(); ++i)
        if (processed(items[i])) held.try_emplace(keys.KeyOf(items[i].Path), Holder{i, true});

    const std::string plotFolder = run.request.PlotFolder.empty() || !run.settings.Trim
                                       ? std::string()
                                       : (fs::path(AbsolutePath(run.request.PlotFolder)) / "").string();
    for (size_t i = 0; i < items.size(); ++i) {
        const RunItem& item = items[i];
        if (!processed(item)) continue;
        const std::string output = NameOutput(item.Path, item.Dest, ChosenOutput(run.settings), RealFileProbe()).Path;
        if (!plotFolder.empty())
            claims.Plots[i] = plotFolder + item.Mirror + FileNameOf(item.Path) + kPlotExtension;
        const std::string& plot = claims.Plots[i];
        for (const std::string* name : {&output, &plot}) {
            if (name->empty() || !claims.Refusals[i].empty()) continue;
            const auto [holder, claimed] = held.try_emplace(keys.KeyOf(*name), Holder{i, false});
            if (claimed) continue;
            const Holder& first = holder->second;
            claims.Refusals[i] = first.source ? "Could not write over a source of this run: " + *name
                                              : "Output named twice: " + *name + " (" + items[first.item].Path +
                                                    " and " + item.Path + ")";
        }
    }
    return claims;
}

PictureEnd PaintPicture(Host& painter, TrimPicture picture)
{
    const std::string path = picture.PlotPath;
    if (path.empty()) {
        painter.TrimMeasured(picture);
        return PictureEnd::NotDrawn;
    }
    bool ready = MadeFolder(FolderOf(path)).empty();
    try {
        if (ready) RemoveWorkFile(path);
    } catch (const FileError&) {
        ready = false;
    }
    if (!ready) {
        picture.PlotPath.clear();
        painter.TrimMeasured(picture);
        painter.LogLine(kPictureNotWritten + path);
        return PictureEnd::Failed;
    }
    if (!painter.TrimMeasured(picture)) return PictureEnd::NotDrawn;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? PictureEnd::Written : PictureEnd::Failed;
}

}  // namespace varnook
