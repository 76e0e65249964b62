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
#include "library/albums.h"
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
        for (size_t i = 0; i < items.size(); ++i) order_.push_back(i);
        if (AlbumsAsked(records_.settings)) {
            albums_ = std::make_unique<AlbumStage>(
                items, records_.settings, stop_,
                AlbumStage::Waits{[this] { Parked(); }, [this](size_t index) { Unparked(index); }});
            order_ = albums_->TakingOrder();
        }
    }

    RunTotals Run()
    {
        ShowProgress();
        const int jobs = JobsFor(records_.settings.Jobs, items_.size());
        // An album's tracks wait for each other, so even one job takes them in a job of its own.
        const bool untaken = jobs <= 1 && !albums_ ? InTurn() : InJobs(jobs);
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
            const FileResult result = RunOne(i, 0, host_);
            progress_.InHand.clear();
            Counted(items_[i]);
            Shown(i, result, SecondsSince(start));
        }
        return false;
    }

    // Several jobs: worker threads take the files in order (album by album in album mode); the
    // calling thread shows each file's block once every file before it has been shown, shows
    // error boxes for the jobs and looks for a stop. True when a stop left files untaken.
    bool InJobs(int jobs)
    {
        for (const RunItem& item : items_) {
            outputs_.push_back(item.Missing ? std::string()
                                            : NameOutput(item.Path, item.Dest, records_.settings.Encode,
                                                         RealFileProbe())
                                                  .Path);
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            jobs_ = active_ = working_ = jobs;
            for (int job = 0; job < jobs; ++job) threads_.emplace_back([this] { Work(); });
        }

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
            for (auto next = waiting.find(nextShown); next != waiting.end() && (!albums_ || albums_->Ready(nextShown));
                 next = waiting.find(++nextShown)) {
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
        for (std::thread& thread : threads_) thread.join();
        // After a stop the files taken need not be the first ones (album mode takes album by
        // album): what they logged is shown all the same, in the order of the sources.
        for (auto& [index, file] : waiting) ShowBlock(file);
        return next_ < items_.size() || stop_->Requested();
    }

    // A job: takes files while there are any, each in a slot of its own (the job number its
    // work files are named by), and gives its place up to a track of an album that waits to go
    // on.
    void Work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            while (next_ < items_.size() && !stop_->Requested() && unparking_ == 0 && OutputBusy(order_[next_]))
                changed_.wait_for(lock, kPollInterval);
            if (next_ >= items_.size() || stop_->Requested() || unparking_ > 0) break;
            const size_t index = order_[next_++];
            const size_t slot = TakeSlot(index);
            started_.push_back(index);
            lock.unlock();
            JobLog log([this](const std::string& text) { ShowErrorBox(text); });
            const auto start = std::chrono::steady_clock::now();
            FileResult result = RunOne(index, static_cast<int>(slot), log);
            if (albums_) albums_->Ended(index);
            Finished done{index, std::move(result), SecondsSince(start), log.TakeLines(), log.TakePicture()};
            lock.lock();
            slots_[slot] = std::nullopt;
            running_[slot].clear();
            inHand_[slot].clear();
            finished_.push_back(std::move(done));
            changed_.notify_all();
        }
        --working_;
        --active_;
        changed_.notify_all();
    }

    // The lowest slot no file in hand has. Under the mutex.
    size_t TakeSlot(size_t index)
    {
        const size_t slot = static_cast<size_t>(std::find(slots_.begin(), slots_.end(), std::nullopt) - slots_.begin());
        if (slot == slots_.size()) {
            slots_.emplace_back();
            running_.emplace_back();
            inHand_.emplace_back();
        }
        slots_[slot] = index;
        running_[slot] = outputs_[index];
        inHand_[slot] = NameOf(items_[index].Path);
        return slot;
    }

    // An output another job is writing now: the file waits, so the later source still writes
    // last, as it would with one job. A track of the same album would wait for this one to end,
    // and this one for it to be measured: such tracks settle their turns as they go on instead
    // (see Unparked). Under the mutex.
    bool OutputBusy(size_t index) const
    {
        const std::string& output = outputs_[index];
        for (size_t slot = 0; slot < slots_.size(); ++slot) {
            if (slots_[slot] && running_[slot] == output && !output.empty() &&
                !(albums_ && albums_->SameAlbum(*slots_[slot], index)))
                return true;
        }
        return false;
    }

    // Album mode: a track that waits for the rest of its album gives its place among the jobs
    // to a new one, which takes the next file, so the cores stay busy.
    void Parked()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        --working_;
        if (next_ < items_.size() && !stop_->Requested()) {
            ++working_;
            ++active_;
            threads_.emplace_back([this] { Work(); });
        }
        changed_.notify_all();
    }

    // The album is measured: the track goes on once it has a place among the jobs again (before
    // files not yet taken), and once no earlier track writing its output is in hand.
    void Unparked(size_t index)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ++unparking_;
        changed_.notify_all();
        while (!stop_->Requested() && (working_ >= jobs_ || EarlierWriterOf(index)))
            changed_.wait_for(lock, kPollInterval);
        --unparking_;
        ++working_;
    }

    bool EarlierWriterOf(size_t index) const
    {
        for (size_t slot = 0; slot < slots_.size(); ++slot)
            if (slots_[slot] && *slots_[slot] < index && running_[slot] == outputs_[index] && !outputs_[index].empty())
                return true;
        return false;
    }

    void ShowErrorBox(const std::string& text)
    {
        BoxRequest box{text};
        std::unique_lock<std::mutex> lock(mutex_);
        boxes_.push_back(&box);
        changed_.wait(lock, [&box] { return box.shown; });
    }

    // A file of its own context, built from the run's records.
    FileResult RunOne(size_t index, int job, Host& host)
    {
        const RunItem& item = items_[index];
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
        if (albums_) file.request.Album = albums_->LinkOf(index);
        return job_(file);
    }

    void ShowBlock(Finished& file)
    {
        if (albums_) {
            for (const std::string& line : albums_->HeadLines(file.index, records_.decimalSeparator))
                host_.LogLine(line);
            albums_->Describe(file.index, file.result.Facts);
        }
        if (items_.size() > 1 || frontEnd_.HeadEveryFileFirst) host_.LogLine(Header(file.index, items_.size()));
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
    std::unique_ptr<AlbumStage> albums_;  // album mode only
    std::vector<size_t> order_;           // the items in the order they are taken

    // Shared with the jobs, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> outputs_;  // by item: the output it writes ("" for a missing one)
    size_t next_ = 0;                   // in order_
    int jobs_ = 0;                      // files worked on at once
    int active_ = 0;                    // threads of jobs, waiting tracks' included
    int working_ = 0;                   // places among the jobs taken
    int unparking_ = 0;                 // tracks waiting for a place to go on
    std::vector<std::thread> threads_;
    std::vector<std::optional<size_t>> slots_;  // by slot: the item in hand
    std::vector<std::string> running_;  // by slot: the output being written
    std::vector<std::string> inHand_;   // by slot: the name of the source in hand
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
