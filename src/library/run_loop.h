// The one run loop: batch mode and the windows take their files through it. With one job the
// files go through the pipeline one after the other on the calling thread, each line shown as it
// is logged; with several, jobs of their own take them at once and each file's lines are shown as
// one block, in the order of the sources. Either way the front end hears everything on the
// calling thread. Knows nothing of windows, terminals or the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/run_ledger.h"
#include "library/source_seconds.h"
#include "library/sources.h"
#include "pipeline/pipeline.h"

namespace varnook {

class Host;
struct Context;
struct RunRecords;

// How far a run has got, for a status line or a progress bar.
struct RunProgress {
    size_t Finished = 0;
    size_t Total = 0;
    // Seconds of audio of the finished files and of all, when the front end asks for them
    // (RunFrontEnd::AudioProgress; see SourceSeconds for how the total settles), else 0.
    double SecondsDone = 0;
    double SecondsTotal = 0;
    std::vector<std::string> InHand;  // names (no folder) of the files being processed
};

// What a front end shows of a run besides what reaches its host. Every call comes on the
// thread that called RunFiles; a callback left empty is not called.
struct RunFrontEnd {
    // A file was taken: with one job just before its lines, with several as soon as the run
    // sees that a job has taken it.
    std::function<void(size_t index)> FileStarted = {};
    // A file's lines are all shown, and this is what became of it; in the order of the sources.
    std::function<void(size_t index, const FileResult& result)> FileEnded = {};
    // After every change, and while jobs work, often enough for a clock to tick.
    std::function<void(const RunProgress& progress)> Progress = {};
    // Asked before every file, and while jobs work: true stops the run. The files in hand of
    // several jobs stop at once; a file on the calling thread (one job) is taken to its end,
    // unless the stop of the run's records (a signal, a closed window) ends it sooner.
    std::function<bool()> StopAsked = {};
    // The run ends with a summary line of the files done, skipped, failed and stopped.
    bool Summary = false;
    // The progress counts seconds of audio, read from the sources' headers beside the run.
    bool AudioProgress = false;
    // The windows' way with one job: every file is headed "File i of n" (even the only one) as
    // its entry is selected, before the stop is looked for. A batch heads the files of a run of
    // several, after the stop was looked for, so a stopped run's log ends with the file the stop
    // cut short.
    bool HeadEveryFileFirst = false;
};

// What runs one file: the pipeline, or a test's wrapper around it.
using FileJob = std::function<FileResult(Context& file)>;

// Takes every file of `items` through `job` with the run's records, settings.Jobs files at once
// (0: one per online CPU; never more than there are files). Each file gets a context of its own
// built from `run` (its request naming the item's source, destination, picture and job, so jobs
// never share a work file), and `host` (one job) or a host of the job's that keeps its lines
// (several). Every output and picture is named before the first file starts (ClaimPlaces): a file
// whose output is a source of the run, or whose output or picture an earlier file claimed, is
// refused with the line saying so. A source that does not exist is logged "Could not find
// <path>", a folder the walk could not read with its failure. With several files each file's
// lines are headed "File i of n". A finished picture goes to the painter through PaintPicture;
// one that could not be written fails its file. With run.request.ReportPath set, a report row is
// appended for each item in order: for each file as its lines are shown, for an item the walk
// passed over ("passed over", counted in the summary), and for a file a stop left untaken ("not
// started"). A stop (run.stop, or StopAsked) leaves the remaining files untaken and ends the run
// with "Interrupted by user", after the summary; it ends the run's files through a stop of the
// run's own, so a later run on the same records starts afresh.
RunTotals RunFiles(const RunRecords& run, const std::vector<RunItem>& items, Host& host, const RunFrontEnd& frontEnd,
                   const FileJob& job = ProcessFile);

}  // namespace varnook
