#include "library/run_loop.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "base/context.h"
#include "base/trim_picture.h"
#include "io/paths.h"
#include "pipeline/output_naming.h"

namespace varnook {
namespace {

// How often the run's own thread looks for finished files, error boxes and a stop while the
// jobs work: often enough for the windows to feel live, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kPollInterval{20};

int OnlineCpus()
{
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
    return cpus > 0 ? static_cast<int>(cpus) : 1;
}

// How many files a run of `files` files processes at once under a Jobs setting.
int JobsFor(int jobsSetting, size_t files)
{
    const int jobs = jobsSetting > 0 ? jobsSetting : OnlineCpus();
    return std::min<int>(jobs, static_cast<int>(std::max<size_t>(files, 1)));
}

int64_t SourceBytes(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<int64_t>(size);
}

std::string Header(size_t index, size_t count)
{
    return "File " + std::to_string(index + 1) + " of " + std::to_string(count);
}

std::string NameOf(const std::string& path)
{
    const PathParts parts = SplitPath(path);
    return parts.Base + parts.Ext;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The host of a file on a job of several: keeps the file's lines for the block shown when the
// file's turn comes, and its finished picture; error boxes go through `relay` to the run's own
// thread, which owns the windows. Captions and yields go nowhere: a job must not reach the
// windows from its thread.
class JobLog final : public Host {
public:
    using Relay = std::function<void(const std::string&)>;

    explicit JobLog(Relay relay) : relay_(std::move(relay)) {}

    void LogLine(const std::string& line) override { lines_.push_back(line); }
    void SetCaption(const std::string&) override {}
    void Yield() override {}
    void ErrorBox(const std::string& text) override { relay_(text); }
    WindowState ProgressWindowState() const override { return WindowState::Normal; }
    // Of a job's file only a /plot needs the picture, drawn when its block is shown.
    bool TrimMeasured(const TrimPicture& picture) override
    {
        if (picture.Complete) picture_ = picture;
        return !picture.PlotPath.empty();
    }

    std::vector<std::string> TakeLines() { return std::move(lines_); }
    std::optional<TrimPicture> TakePicture() { return std::exchange(picture_, std::nullopt); }

private:
    Relay relay_;
    std::vector<std::string> lines_;
    std::optional<TrimPicture> picture_;
};

class Loop {
public:
    Loop(const RunRecords& run, const std::vector<RunItem>& items, Host& host, const RunFrontEnd& frontEnd,
         const FileJob& job)
        : items_(items), host_(host), frontEnd_(frontEnd), job_(job), records_(run),
          stop_(std::make_shared<StopRequest>(run.stop)),
          ledger_(host, run.request.ReportPath, run.decimalSeparator)
    {
        // Every file starts from these records: the run's own stop, and the sources no output
        // may replace, whichever job writes it.
        records_.stop = stop_;
        auto sources = std::make_shared<std::vector<std::string>>();
        for (const RunItem& item : items)
            if (!item.Missing) sources->push_back(item.Path);
        records_.request.RunSources = std::move(sources);
        progress_.Total = items.size();
        for (const RunItem& item : items) progress_.BytesTotal += SourceBytes(item.Path);
    }

    RunTotals Run()
    {
        ShowProgress();
        const int jobs = JobsFor(records_.settings.Jobs, items_.size());
        const bool untaken = jobs <= 1 ? InTurn() : InJobs(jobs);
        // A stop during the last file (lame ended, a lock wait given up) still ends the run as
        // interrupted. "Interrupted by user" stays the last line, as it always was.
        if (frontEnd_.Summary) ledger_.LogSummary();
        RunTotals& totals = ledger_.Totals();
        totals.Interrupted = untaken || stop_->Requested();
        if (totals.Interrupted) host_.LogLine("Interrupted by user");
        return totals;
    }

private:
    struct Finished {
        size_t index;
        FileResult result;
        double seconds;
        std::vector<std::string> lines;
        std::optional<TrimPicture> picture;
    };
    struct BoxRequest {
        std::string text;
        bool shown = false;
    };

    // One job: today's run, each line shown as it comes, on the calling thread. True when a stop
    // left files untaken.
    bool InTurn()
    {
        const bool headed = items_.size() > 1 || frontEnd_.HeadEveryFileFirst;
        for (size_t i = 0; i < items_.size(); ++i) {
            if (!frontEnd_.HeadEveryFileFirst && StopLooked()) return true;
            if (frontEnd_.FileStarted) frontEnd_.FileStarted(i);
            if (headed) host_.LogLine(Header(i, items_.size()));
            host_.Yield();
            if (frontEnd_.HeadEveryFileFirst && StopLooked()) return true;
            progress_.InHand = {NameOf(items_[i].Path)};
            ShowProgress();
            const auto start = std::chrono::steady_clock::now();
            const FileResult result = RunOne(items_[i], 0, host_);
            progress_.InHand.clear();
            Counted(items_[i]);
            Shown(i, result, SecondsSince(start));
        }
        return false;
    }

    // Several jobs: worker threads take the files in order; the calling thread shows each
    // file's block once every file before it has been shown, shows error boxes for the jobs and
    // looks for a stop. True when a stop left files untaken.
    bool InJobs(int jobs)
    {
        for (const RunItem& item : items_) {
            outputs_.push_back(item.Missing ? std::string()
                                            : NameOutput(item.Path, item.Dest, ChosenOutput(records_.settings),
                                                         RealFileProbe())
                                                  .Path);
        }
        inHand_.assign(static_cast<size_t>(jobs), std::string());
        running_.assign(static_cast<size_t>(jobs), std::string());
        active_ = jobs;
        std::vector<std::thread> threads;
        for (int job = 0; job < jobs; ++job) threads.emplace_back([this, job] { Work(job); });

        std::map<size_t, Finished> waiting;  // ended, until the files before them are shown
        size_t nextShown = 0;
        for (bool last = false; !last;) {
            std::deque<size_t> started;
            std::deque<Finished> finished;
            std::deque<BoxRequest*> boxes;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait_for(lock, kPollInterval);
                started.swap(started_);
                finished.swap(finished_);
                boxes.swap(boxes_);
                last = active_ == 0;
                progress_.InHand.clear();
                for (const std::string& name : inHand_)
                    if (!name.empty()) progress_.InHand.push_back(name);
            }
            if (frontEnd_.FileStarted)
                for (const size_t index : started) frontEnd_.FileStarted(index);
            for (Finished& file : finished) {
                Counted(items_[file.index]);
                waiting.emplace(file.index, std::move(file));
            }
            for (auto next = waiting.find(nextShown); next != waiting.end(); next = waiting.find(++nextShown)) {
                ShowBlock(next->second);
                waiting.erase(next);
            }
            for (BoxRequest* box : boxes) {
                host_.ErrorBox(box->text);
                const std::lock_guard<std::mutex> lock(mutex_);
                box->shown = true;
                changed_.notify_all();
            }
            StopLooked();
            ShowProgress();
            host_.Yield();
        }
        for (std::thread& thread : threads) thread.join();
        return next_ < items_.size() || stop_->Requested();
    }

    void Work(int job)
    {
        const auto slot = static_cast<size_t>(job);
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                while (next_ < items_.size() && !stop_->Requested() && OutputBusy(next_))
                    changed_.wait_for(lock, kPollInterval);
                if (next_ >= items_.size() || stop_->Requested()) break;
                index = next_++;
                running_[slot] = outputs_[index];
                inHand_[slot] = NameOf(items_[index].Path);
                started_.push_back(index);
            }
            JobLog log([this](const std::string& text) { ShowErrorBox(text); });
            const auto start = std::chrono::steady_clock::now();
            FileResult result = RunOne(items_[index], job, log);
            Finished done{index, std::move(result), SecondsSince(start), log.TakeLines(), log.TakePicture()};
            const std::lock_guard<std::mutex> lock(mutex_);
            running_[slot].clear();
            inHand_[slot].clear();
            finished_.push_back(std::move(done));
            changed_.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        --active_;
        changed_.notify_all();
    }

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

    // A file of its own context, built from the run's records.
    FileResult RunOne(const RunItem& item, int job, Host& host)
    {
        if (item.Missing) {
            const std::string line = "Could not find " + item.Path;
            host.LogLine(line);
            host.LogLine("");
            return {FileOutcome::Failed, line, {}, {}};
        }
        Context file(records_, host);
        file.request.SourcePath = item.Path;
        file.request.DestPath = item.Dest;
        file.request.Job = job;
        return job_(file);
    }

    void ShowBlock(const Finished& file)
    {
        host_.LogLine(Header(file.index, items_.size()));
        for (const std::string& line : file.lines) host_.LogLine(line);
        if (file.picture) host_.TrimMeasured(*file.picture);
        Shown(file.index, file.result, file.seconds);
    }

    void Counted(const RunItem& item)
    {
        ++progress_.Finished;
        progress_.BytesDone += SourceBytes(item.Path);
    }

    void Shown(size_t index, const FileResult& result, double seconds)
    {
        ledger_.FileEnded(items_[index], result, seconds);
        if (frontEnd_.FileEnded) frontEnd_.FileEnded(index, result);
        ShowProgress();
    }

    void ShowProgress()
    {
        if (frontEnd_.Progress) frontEnd_.Progress(progress_);
    }

    // The front end's way of stopping becomes the run's own stop, which the files in hand hear.
    bool StopLooked()
    {
        if (frontEnd_.StopAsked && frontEnd_.StopAsked()) stop_->Request();
        return stop_->Requested();
    }

    const std::vector<RunItem>& items_;
    Host& host_;
    const RunFrontEnd& frontEnd_;
    const FileJob& job_;
    RunRecords records_;
    const std::shared_ptr<StopRequest> stop_;
    RunLedger ledger_;
    RunProgress progress_;

    // Shared with the jobs, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> outputs_;  // by item: the output it writes ("" for a missing one)
    size_t next_ = 0;
    int active_ = 0;
    std::vector<std::string> running_;  // by job: the output being written
    std::vector<std::string> inHand_;   // by job: the name of the source in hand
    std::deque<size_t> started_;
    std::deque<Finished> finished_;
    std::deque<BoxRequest*> boxes_;
};

}  // namespace

RunTotals RunFiles(const RunRecords& run, const std::vector<RunItem>& items, Host& host, const RunFrontEnd& frontEnd,
                   const FileJob& job)
{
    return Loop(run, items, host, frontEnd, job).Run();
}

}  // namespace varnook
