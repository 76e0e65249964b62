#include "library/run_loop.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
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
#include "library/run_places.h"
#include "pipeline/folder_lock.h"

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

std::string Header(size_t index, size_t count)
{
    return "File " + std::to_string(index + 1) + " of " + std::to_string(count);
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

// The host of a file on the run's own thread: passes everything on, but hands the finished
// picture to PaintPicture and keeps what became of it.
class PictureHost final : public ForwardingHost {
public:
    explicit PictureHost(Host& inner) : ForwardingHost(inner), inner_(inner) {}

    bool TrimMeasured(const TrimPicture& picture) override
    {
        if (!picture.Complete) return ForwardingHost::TrimMeasured(picture);
        end_ = PaintPicture(inner_, picture);
        return end_ != PictureEnd::NotDrawn;
    }
    PictureEnd End() const { return end_; }

private:
    Host& inner_;
    PictureEnd end_ = PictureEnd::NotDrawn;
};

// What the painter made of a file's picture goes into its result: the report names only a
// picture that was written, and one that could not be fails the file.
void NotePicture(FileResult& result, PictureEnd end)
{
    if (!result.Facts.Plot || end == PictureEnd::Written) return;
    const std::string path = *result.Facts.Plot;
    result.Facts.Plot.reset();
    if (end != PictureEnd::Failed) return;
    if (result.Reason.empty()) result.Reason = "The picture could not be written: " + path;
    if (result.Outcome != FileOutcome::Stopped) result.Outcome = FileOutcome::Failed;
}

class Loop {
public:
    Loop(const RunRecords& run, const std::vector<RunItem>& items, Host& host, const RunFrontEnd& frontEnd,
         const FileJob& job)
        : items_(items), host_(host), frontEnd_(frontEnd), job_(job), records_(run),
          stop_(std::make_shared<StopRequest>(run.stop)),
          ledger_(host, run.request.ReportPath, run.decimalSeparator), claims_(ClaimPlaces(items, run))
    {
        // Every file starts from these records: the run's own stop, the sources no clean-up may
        // remove and the folders already swept, whichever job has the file.
        records_.stop = stop_;
        std::vector<std::string> sources, paths;
        for (size_t i = 0; i < items.size(); ++i) {
            if (!items[i].PassedOver.empty()) continue;
            files_.push_back(i);
            paths.push_back(items[i].Path);
            if (!items[i].Missing) sources.push_back(items[i].Path);
        }
        records_.request.RunSources = std::make_shared<const FileSet>(sources);
        records_.request.Swept = std::make_shared<SweptFolders>();
        progress_.Total = files_.size();
        if (frontEnd.AudioProgress) seconds_.emplace(std::move(paths));
        for (size_t turn = 0; turn < files_.size(); ++turn) order_.push_back(turn);
        if (AlbumsAsked(records_.settings)) {
            // Only files that get as far as their audio are tracks of an album.
            std::vector<size_t> tracks, turnOf(items.size());
            for (size_t turn = 0; turn < files_.size(); ++turn) {
                const size_t i = files_[turn];
                turnOf[i] = turn;
                if (!items[i].Missing && items[i].Failure.empty() && claims_.Refusals[i].empty()) tracks.push_back(i);
            }
            albums_ = std::make_unique<AlbumStage>(
                items, tracks, records_.settings, stop_,
                AlbumStage::Waits{[this] { Parked(); }, [this] { Unparked(); }});
            order_.clear();
            for (const size_t i : albums_->TakingOrder(files_)) order_.push_back(turnOf[i]);
        }
    }

    RunTotals Run()
    {
        ShowProgress();
        const int jobs = JobsFor(records_.settings.Jobs, files_.size());
        // An album's tracks wait for each other, so even one job takes them in a job of its own.
        const bool untaken = jobs <= 1 && !albums_ ? InTurn() : InJobs(jobs);
        // Every item gets its row, in order: those after the last file shown were passed over
        // by the walk or never started.
        for (; rowsUpTo_ < items_.size(); ++rowsUpTo_) {
            const RunItem& item = items_[rowsUpTo_];
            if (item.PassedOver.empty()) {
                ledger_.NotStarted(item);
            } else {
                ledger_.PassedOver(item);
            }
        }
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
        size_t turn;  // the file's place among the files of the run
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
        const bool headed = files_.size() > 1 || frontEnd_.HeadEveryFileFirst;
        for (size_t turn = 0; turn < files_.size(); ++turn) {
            const size_t i = files_[turn];
            if (!frontEnd_.HeadEveryFileFirst && StopLooked()) return true;
            if (frontEnd_.FileStarted) frontEnd_.FileStarted(i);
            if (headed) host_.LogLine(Header(turn, files_.size()));
            host_.Yield();
            if (frontEnd_.HeadEveryFileFirst && StopLooked()) return true;
            progress_.InHand = {FileNameOf(items_[i].Path)};
            ShowProgress();
            const auto start = std::chrono::steady_clock::now();
            PictureHost painting(host_);
            FileResult result = RunOne(i, 0, painting);
            NotePicture(result, painting.End());
            progress_.InHand.clear();
            Counted(turn);
            Shown(i, result, SecondsSince(start));
        }
        return false;
    }

    // Several jobs: worker threads take the files in order (album by album in album mode); the
    // calling thread shows each file's block once every file before it has been shown, shows
    // error boxes for the jobs and looks for a stop. True when a stop left files untaken.
    bool InJobs(int jobs)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            jobs_ = active_ = working_ = jobs;
            for (int job = 0; job < jobs; ++job) threads_.emplace_back([this] { Work(); });
        }

        std::map<size_t, Finished> waiting;  // ended, by turn, until the files before them are shown
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
                Counted(file.turn);
                waiting.emplace(file.turn, std::move(file));
            }
            for (auto next = waiting.find(nextShown);
                 next != waiting.end() && (!albums_ || albums_->Ready(files_[nextShown]));
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
        for (auto& [turn, file] : waiting) ShowBlock(file);
        return next_ < files_.size() || stop_->Requested();
    }

    // A job: takes files while there are any, each in a slot of its own (the job number its
    // work files are named by), and gives its place up to a track of an album that waits to go
    // on. Claims are settled before the first file, so no two files in hand ever write one
    // output: a job takes the next file whatever the others are doing.
    void Work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (next_ < files_.size() && !stop_->Requested() && unparking_ == 0) {
            const size_t turn = order_[next_++];
            const size_t index = files_[turn];
            const size_t slot = TakeSlot(FileNameOf(items_[index].Path));
            started_.push_back(index);
            lock.unlock();
            JobLog log([this](const std::string& text) { ShowErrorBox(text); });
            const auto start = std::chrono::steady_clock::now();
            FileResult result = RunOne(index, static_cast<int>(slot), log);
            if (albums_) albums_->Ended(index);
            Finished done{turn, std::move(result), SecondsSince(start), log.TakeLines(), log.TakePicture()};
            lock.lock();
            inHand_[slot].clear();
            finished_.push_back(std::move(done));
            changed_.notify_all();
        }
        --working_;
        --active_;
        changed_.notify_all();
    }

    // The lowest slot no file is in hand in, now given the source named `name`. Under the mutex.
    size_t TakeSlot(const std::string& name)
    {
        const auto free = std::find(inHand_.begin(), inHand_.end(), std::string());
        const auto slot = static_cast<size_t>(free - inHand_.begin());
        if (free == inHand_.end()) inHand_.emplace_back();
        inHand_[slot] = name;
        return slot;
    }

    // Album mode: a track that waits for the rest of its album gives its place among the jobs
    // to a new one, which takes the next file, so the cores stay busy.
    void Parked()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        --working_;
        if (next_ < files_.size() && !stop_->Requested()) {
            ++working_;
            ++active_;
            threads_.emplace_back([this] { Work(); });
        }
        changed_.notify_all();
    }

    // The album is measured: the track goes on once it has a place among the jobs again, before
    // files not yet taken.
    void Unparked()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ++unparking_;
        changed_.notify_all();
        while (!stop_->Requested() && working_ >= jobs_) changed_.wait_for(lock, kPollInterval);
        --unparking_;
        ++working_;
    }

    void ShowErrorBox(const std::string& text)
    {
        BoxRequest box{text};
        std::unique_lock<std::mutex> lock(mutex_);
        boxes_.push_back(&box);
        changed_.wait(lock, [&box] { return box.shown; });
    }

    // A file of its own context, built from the run's records; an item that cannot be processed
    // (missing, a folder the walk could not read, a name another source claimed) only says why.
    FileResult RunOne(size_t index, int job, Host& host)
    {
        const RunItem& item = items_[index];
        std::vector<std::string> lines;
        if (item.Missing) {
            lines = {"Could not find " + item.Path};
        } else if (!item.Failure.empty()) {
            lines = {item.Failure};
        } else if (!claims_.Refusals[index].empty()) {
            lines = {"Now processing:", item.Path, claims_.Refusals[index]};
        } else {
            Context file(records_, host);
            file.request.SourcePath = item.Path;
            file.request.DestPath = item.Dest;
            file.request.PlotPath = claims_.Plots[index];
            file.request.Job = job;
            if (albums_) file.request.Album = albums_->LinkOf(index);
            return job_(file);
        }
        for (const std::string& line : lines) host.LogLine(line);
        host.LogLine("");
        return {FileOutcome::Failed, lines.back(), {}, {}};
    }

    void ShowBlock(Finished& file)
    {
        const size_t index = files_[file.turn];
        if (albums_) {
            for (const std::string& line : albums_->HeadLines(index, records_.decimalSeparator)) host_.LogLine(line);
            albums_->Describe(index, file.result.Facts);
        }
        if (files_.size() > 1 || frontEnd_.HeadEveryFileFirst) host_.LogLine(Header(file.turn, files_.size()));
        for (const std::string& line : file.lines) host_.LogLine(line);
        if (file.picture) NotePicture(file.result, PaintPicture(host_, *file.picture));
        Shown(index, file.result, file.seconds);
    }

    void Counted(size_t turn)
    {
        ++progress_.Finished;
        if (seconds_) seconds_->Finished(turn);
    }

    // The file's row comes after the rows of the items before it that the walk passed over.
    void Shown(size_t index, const FileResult& result, double seconds)
    {
        for (; rowsUpTo_ < index; ++rowsUpTo_) ledger_.PassedOver(items_[rowsUpTo_]);
        ledger_.FileEnded(items_[index], result, seconds);
        rowsUpTo_ = index + 1;
        if (frontEnd_.FileEnded) frontEnd_.FileEnded(index, result);
        ShowProgress();
    }

    void ShowProgress()
    {
        if (!frontEnd_.Progress) return;
        if (seconds_) {
            const SourceSeconds::Tally tally = seconds_->Count();
            progress_.SecondsDone = tally.Done;
            progress_.SecondsTotal = tally.Total;
        }
        frontEnd_.Progress(progress_);
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
    const RunClaims claims_;
    std::vector<size_t> files_;  // the items that are files of the run, in order: their turns
    size_t rowsUpTo_ = 0;        // the items before it have their report rows
    RunProgress progress_;
    std::optional<SourceSeconds> seconds_;
    std::unique_ptr<AlbumStage> albums_;  // album mode only
    std::vector<size_t> order_;           // the turns in the order the jobs take them

    // Shared with the jobs, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;                  // in order_: the next file a job takes
    int jobs_ = 0;                     // files worked on at once
    int active_ = 0;                   // threads of jobs, waiting tracks' included
    int working_ = 0;                  // places among the jobs taken
    int unparking_ = 0;                // tracks waiting for a place to go on
    std::vector<std::thread> threads_;
    std::vector<std::string> inHand_;  // by slot: the name of the source in hand, "" when free
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
