#include "library/batch.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "cli/command_line.h"
#include "base/context.h"
#include "io/exist_file.h"
#include "library/file_watch.h"
#include "library/walk.h"
#include "io/numbers.h"
#include "pipeline/output_naming.h"
#include "io/paths.h"
#include "pipeline/pipeline.h"
#include "cli/status_line.h"
#include "io/errors.h"
#include "report/report_writer.h"

namespace varnook {
namespace {

constexpr std::array<std::string_view, 4> kFailurePrefixes{"Could not ", "Not a valid ", "Only 16-bit ",
                                                           "No filter "};
// How often the run's own thread looks for finished files, error boxes and a stop while the
// jobs work: often enough for the windows to feel live, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kPollInterval{20};

constexpr const char* kDone = "done";
constexpr const char* kSkipped = "skipped";
constexpr const char* kFailed = "failed";
constexpr const char* kMissing = "missing";

int OnlineCpus()
{
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
    return cpus > 0 ? static_cast<int>(cpus) : 1;
}

std::optional<int64_t> FileBytes(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return static_cast<int64_t>(size);
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

void ProcessItem(Context& ctx, FileWatch& watch, const BatchItem& item, ReportRow& row)
{
    const auto start = std::chrono::steady_clock::now();
    watch.BeginFile();
    row.Source = item.Path;
    if (item.Missing) {
        watch.LogLine("Could not find " + item.Path);
        watch.LogLine("");
        row.Status = kMissing;
    } else {
        ctx.request.SourcePath = item.Path;
        ctx.request.DestPath = item.Dest;
        try {
            ProcessFile(ctx, &row);
        } catch (...) {
            // An unexpected error has had its box from the step that raised it; a failed move
            // or delete has not. Either way the log keeps the reason beside the file's lines.
            const ErrorDescription error = DescribeCurrentException();
            const std::string line = std::to_string(error.number) + ": " + error.text;
            watch.LogLine(line);
            watch.LogLine("");
            watch.MarkFailed(line);
        }
        if (row.Status.empty()) row.Status = watch.FileFailed() ? kFailed : kDone;
    }
    row.Reason = watch.Reason();
    if (row.Status == kDone || row.Status == kSkipped) row.OutputBytes = FileBytes(row.Output);
    row.ProcessingSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

namespace {

// Everything the run's own thread keeps while files end: the report, the counts for the
// summary, the status line, and the caller's ear.
class RunLedger {
public:
    // A caller that hears of each file (the windows) shows the progress itself: no status line
    // on the terminal it was started from.
    RunLedger(Context& ctx, const std::vector<BatchItem>& items,
              const std::function<void(const BatchFileResult&)>& finished)
        : ctx_(ctx), finished_(finished), status_(!finished)
    {
        progress_.Total = items.size();
        ctx.host.ShowProgress(0, items.size());
        for (const BatchItem& item : items) progress_.BytesTotal += FileBytes(item.Path).value_or(0);
        if (!ctx.request.ReportPath.empty()) {
            try {
                report_ = std::make_unique<ReportWriter>(ctx.request.ReportPath);
            } catch (const FileError& e) {
                Log("Could not open the report " + ctx.request.ReportPath + ": " + e.LogText());
                failed_ = true;
            }
        }
    }

    void Log(const std::string& line)
    {
        status_.Clear();
        ctx_.host.LogLine(line);
    }
    void ClearStatus() { status_.Clear(); }
    void DrawStatus() { status_.Draw(progress_); }
    BatchProgress& Progress() { return progress_; }

    void FileEnded(size_t index, const ReportRow& row, const std::string& path)
    {
        if (row.Status == kDone) {
            ++done_;
            audioSeconds_ += row.DurationSeconds.value_or(0);
        } else if (row.Status == kSkipped) {
            ++skipped_;
        } else {
            ++failedFiles_;
            failed_ = true;
        }
        ++progress_.Finished;
        progress_.BytesDone += FileBytes(path).value_or(0);
        ctx_.host.ShowProgress(progress_.Finished, progress_.Total);
        if (report_) {
            try {
                report_->Append(row);
            } catch (const FileError& e) {
                Log("Could not write the report " + ctx_.request.ReportPath + ": " + e.LogText());
                report_.reset();
                failed_ = true;
            }
        }
        if (finished_) finished_({index, row.Status, row.Reason});
    }

    void Summary()
    {
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const char sep = ctx_.decimalSeparator;
        std::string line = "Files done: " + std::to_string(done_) + ", skipped: " + std::to_string(skipped_) +
                           ", failed: " + std::to_string(failedFiles_) + "; " + FormatFixed2(wall, sep) +
                           " seconds";
        if (wall > 0) line += ", " + FormatFixed2(audioSeconds_ / wall, sep) + " times real time";
        Log(line);
    }

    bool Failed() const { return failed_; }
    void MarkFailed() { failed_ = true; }

private:
    Context& ctx_;
    const std::function<void(const BatchFileResult&)>& finished_;
    StatusLine status_;
    BatchProgress progress_;
    std::unique_ptr<ReportWriter> report_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    size_t done_ = 0, skipped_ = 0, failedFiles_ = 0;
    double audioSeconds_ = 0;
    bool failed_ = false;
};

// Everything but the host: a job's context for one file starts from the run's records.
void CopyRecords(Context& to, const Context& from)
{
    to.decimalSeparator = from.decimalSeparator;
    to.programPath = from.programPath;
    to.settings = from.settings;
    to.request = from.request;
    to.wav = from.wav;
    to.tagsV1 = from.tagsV1;
    to.tagsV2 = from.tagsV2;
    to.filter = from.filter;
    to.stop = from.stop;
}

std::string Header(size_t index, size_t count)
{
    return "File " + std::to_string(index + 1) + " of " + std::to_string(count);
}

std::string NameOf(const std::string& path)
{
    return SplitPath(path).Base + SplitPath(path).Ext;
}

// One job: today's run, each line logged as it comes, on the caller's thread.
bool RunInTurn(Context& ctx, const std::vector<BatchItem>& items, RunLedger& ledger,
               const std::function<bool()>& stopped)
{
    FileWatch watch(ctx.host.Target(), [&ledger] { ledger.ClearStatus(); });
    // The run reports through the watch; what it changes (Encode under a destination, the last
    // WAV info and tags) stays in the caller's records, as it always did.
    const ReportingThrough reporting(ctx.host, watch);
    Context& run = ctx;
    bool interrupted = false;
    for (size_t i = 0; i < items.size() && !interrupted; ++i) {
        if ((interrupted = stopped())) break;
        if (items.size() > 1) {
            watch.LogLine(Header(i, items.size()));
            watch.Yield();
        }
        ledger.Progress().InHand = {NameOf(items[i].Path)};
        ledger.DrawStatus();
        ReportRow row;
        ProcessItem(run, watch, items[i], row);
        ledger.Progress().InHand.clear();
        ledger.FileEnded(i, row, items[i].Path);
        ledger.DrawStatus();
    }
    return interrupted;
}

// Several jobs: worker threads take the files in order, the caller's thread logs each finished
// file's block, writes the report, shows error boxes for the jobs and watches for a stop. The
// jobs' files stop on a request of the pool's own, which follows ctx.stop (a signal, a closed
// progress window) even while an error box holds this thread, and which the caller's own way of
// stopping (the windows' Interrupt) sets: that ends this run only, not every later run of the
// same context.
class JobPool {
public:
    JobPool(Context& ctx, const std::vector<BatchItem>& items, RunLedger& ledger)
        : ctx_(ctx), items_(items), ledger_(ledger)
    {
        for (const BatchItem& item : items) {
            outputs_.push_back(
                item.Missing ? std::string()
                             : NameOutput(item.Path, item.Dest, ctx.settings.Encode, RealFileProbe()).Path);
        }
    }

    // Returns true when the run was stopped before every file was taken.
    bool Run(int jobs, const std::function<bool()>& stopped)
    {
        inHand_.assign(static_cast<size_t>(jobs), std::string());
        running_.assign(static_cast<size_t>(jobs), std::string());
        active_ = jobs;
        std::vector<std::thread> threads;
        for (int job = 0; job < jobs; ++job) threads.emplace_back([this, job] { Work(job); });

        for (bool last = false; !last;) {
            std::deque<Finished> finished;
            std::deque<BoxRequest*> boxes;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait_for(lock, kPollInterval);
                finished.swap(finished_);
                boxes.swap(boxes_);
                last = active_ == 0;
                ledger_.Progress().InHand.clear();
                for (const std::string& name : inHand_)
                    if (!name.empty()) ledger_.Progress().InHand.push_back(name);
            }
            for (Finished& file : finished) {
                if (items_.size() > 1) ledger_.Log(Header(file.index, items_.size()));
                for (const std::string& line : file.lines) ledger_.Log(line);
                if (file.picture) ctx_.host.TrimMeasured(*file.picture);
                ledger_.FileEnded(file.index, file.row, items_[file.index].Path);
            }
            for (BoxRequest* box : boxes) {
                ledger_.ClearStatus();
                ctx_.host.ErrorBox(box->text);
                const std::lock_guard<std::mutex> lock(mutex_);
                box->shown = true;
                changed_.notify_all();
            }
            if (stopped()) stop_->Request();
            ledger_.DrawStatus();
            ctx_.host.Yield();
        }
        for (std::thread& thread : threads) thread.join();
        return next_ < items_.size() || stop_->Requested();
    }

private:
    struct Finished {
        size_t index;
        std::vector<std::string> lines;
        ReportRow row;
        std::optional<TrimPicture> picture;
    };
    struct BoxRequest {
        std::string text;
        bool shown = false;
    };

    // An output another job is writing now: the file waits, so the later source still writes
    // last, as it would with one job.
    bool OutputBusy(size_t index) const
    {
        const std::string& output = outputs_[index];
        return !output.empty() && std::find(running_.begin(), running_.end(), output) != running_.end();
    }

    void ShowErrorBox(const std::string& text)
    {
        BoxRequest box{text};
        std::unique_lock<std::mutex> lock(mutex_);
        boxes_.push_back(&box);
        changed_.wait(lock, [&box] { return box.shown; });
    }

    void Work(int job)
    {
        FileWatch watch([this](const std::string& text) { ShowErrorBox(text); });
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                while (next_ < items_.size() && !stop_->Requested() && OutputBusy(next_))
                    changed_.wait_for(lock, kPollInterval);
                if (next_ >= items_.size() || stop_->Requested()) break;
                index = next_++;
                running_[static_cast<size_t>(job)] = outputs_[index];
                inHand_[static_cast<size_t>(job)] = NameOf(items_[index].Path);
            }
            // A context of its own for every file, from the run's records: nothing one file
            // changes reaches the next, whichever job takes it.
            Context file(watch);
            CopyRecords(file, ctx_);
            file.stop = stop_;
            file.request.Job = job;
            Finished done{index, {}, {}, std::nullopt};
            ProcessItem(file, watch, items_[index], done.row);
            done.lines = watch.TakeLines();
            done.picture = watch.TakePicture();
            const std::lock_guard<std::mutex> lock(mutex_);
            running_[static_cast<size_t>(job)].clear();
            inHand_[static_cast<size_t>(job)].clear();
            finished_.push_back(std::move(done));
            changed_.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        --active_;
        changed_.notify_all();
    }

    Context& ctx_;
    const std::vector<BatchItem>& items_;
    RunLedger& ledger_;
    std::vector<std::string> outputs_;
    const std::shared_ptr<StopRequest> stop_ = std::make_shared<StopRequest>(ctx_.stop);

    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;
    int active_ = 0;
    std::vector<std::string> running_;  // by job: the output being written
    std::vector<std::string> inHand_;   // by job: the name of the source in hand
    std::deque<Finished> finished_;
    std::deque<BoxRequest*> boxes_;
};

}  // namespace

int JobsFor(int jobsSetting, size_t files)
{
    const int jobs = jobsSetting > 0 ? jobsSetting : OnlineCpus();
    return std::min<int>(jobs, static_cast<int>(std::max<size_t>(files, 1)));
}

bool IsFailureLine(const std::string& line)
{
    return std::any_of(kFailurePrefixes.begin(), kFailurePrefixes.end(),
                       [&](std::string_view prefix) { return line.starts_with(prefix); });
}

std::vector<BatchItem> CollectBatch(const Context& ctx, const ParsedCommandLine& commandLine, Host& host)
{
    const std::string& dest = ctx.request.DestPath;
    std::vector<BatchItem> items;
    for (const std::string& source : commandLine.Sources) {
        const bool missing =
            std::find(commandLine.MissingSources.begin(), commandLine.MissingSources.end(), source) !=
            commandLine.MissingSources.end();
        std::error_code ec;
        if (missing || !std::filesystem::is_directory(source, ec)) {
            items.push_back({source, dest, missing});
            continue;
        }
        const std::vector<LibrarySource> found = WalkFolder(source, ctx.settings.Encode);
        if (found.empty()) host.LogLine("No sources in " + source);
        for (const LibrarySource& file : found)
            items.push_back({file.Path, MirroredDest(dest, file.MirrorFolder)});
    }
    return items;
}

int RunFiles(Context& ctx, const std::vector<BatchItem>& items, bool summary,
             const std::function<bool()>& stopRequested,
             const std::function<void(const BatchFileResult&)>& finished)
{
    // No output may replace a file that is a source of the same run, whichever job writes it.
    ctx.request.RunSources.clear();
    for (const BatchItem& item : items)
        if (!item.Missing) ctx.request.RunSources.push_back(item.Path);
    RunLedger ledger(ctx, items, finished);
    const auto stopped = [&] { return ctx.stop->Requested() || (stopRequested && stopRequested()); };
    const int jobs = JobsFor(ctx.settings.Jobs, items.size());

    bool interrupted = false;
    if (jobs <= 1) {
        interrupted = RunInTurn(ctx, items, ledger, stopped);
    } else {
        JobPool pool(ctx, items, ledger);
        interrupted = pool.Run(jobs, stopped);
    }

    // A stop during the last file (lame ended, a lock wait given up) still makes the run fail.
    // "Interrupted by user" stays the last line, as it always was.
    if (summary) ledger.Summary();
    if (interrupted || ctx.stop->Requested()) {
        ledger.Log("Interrupted by user");
        ledger.MarkFailed();
    }
    ledger.ClearStatus();
    return ledger.Failed() ? kBatchFailed : kBatchSucceeded;
}

int RunBatch(Context& ctx, const ParsedCommandLine& commandLine, const std::function<bool()>& stopRequested)
{
    const std::vector<BatchItem> items = CollectBatch(ctx, commandLine, ctx.host);
    const auto isFolder = [](const std::string& source) {
        std::error_code ec;
        return std::filesystem::is_directory(source, ec);
    };
    const bool anyFolder = std::any_of(commandLine.Sources.begin(), commandLine.Sources.end(), isFolder);
    return RunFiles(ctx, items, items.size() > 1 || anyFolder, stopRequested);
}

}  // namespace varnook
