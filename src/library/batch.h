// Batch mode: the sources named on the command line, files and folders, each file taken through
// the pipeline, with the log on the host. Knows nothing of windows or of how the host shows it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/host.h"

namespace varnook {

struct Context;
struct ParsedCommandLine;

inline constexpr int kBatchSucceeded = 0;
inline constexpr int kBatchFailed = 1;

// True for a log line that reports a failure: "Could not ...", "Not a valid ...",
// "Only 16-bit ..." or "No filter ...".
bool IsFailureLine(const std::string& line);

// One file of a batch: a source named on the command line, or found in a folder named there.
struct BatchItem {
    std::string Path;
    std::string Dest;      // the destination for this file ("" for beside the source)
    bool Missing = false;  // named, but not there
};

// The files of the command line's sources in order: a file as named, a folder's sources as
// WalkFolder finds them (a folder without any is logged on `host`). Under a folder source a
// destination folder is mirrored: the output goes to the same relative folder below it as the
// source has below the folder source, and the folders that are missing there are made.
std::vector<BatchItem> CollectBatch(const Context& ctx, const ParsedCommandLine& commandLine, Host& host);

class FileWatch;
struct ReportRow;

// Takes one file through the pipeline on ctx (whose host is `watch`) and fills its report row:
// the status from what the pipeline said and the failure lines `watch` saw, the failing line as
// the reason, the output's size and the time taken. A missing item is logged "Could not find".
void ProcessItem(Context& ctx, FileWatch& watch, const BatchItem& item, ReportRow& row);

// What became of one file, for the one who started the run (the windows mark their list).
struct BatchFileResult {
    size_t Index = 0;     // in the order CollectBatch gave
    std::string Status;   // "done", "skipped", "failed" or "missing"
    std::string Reason;   // the failing log line
};

// How many files a run of `files` files processes at once under a Jobs setting (0: one per
// online CPU): never more than there are files, and at least one.
int JobsFor(int jobsSetting, size_t files);

// Processes every file of `items` with ctx's settings, ctx.settings.Jobs files at once (0: one
// per online CPU; 1: one after the other, each file's lines logged as they come, as Varnook
// always did). With several jobs each job has a context and work file names of its own, a
// file's lines are logged as one block when the file ends, and two files that would write the
// same output never run at once. With more than one file each block is headed "File i of n",
// and the run ends with a summary line. A source that does not exist is reported in the log; an
// error a step raised again is logged with an empty line after it, and the run goes on with the
// next file. ctx.stop, and stopRequested when given, are asked before every file; a stop ends
// every running lame, logs "Interrupted by user" and leaves the remaining files undone. With
// ctx.request.ReportPath set, a report row is appended for each file as it ends. `finished`,
// when given, hears of each file on the calling thread; such a caller shows the progress
// itself, so no status line is drawn. With several jobs a stopRequested stop ends the running
// files too, through a stop of the run's own: it never reaches ctx.stop, so a later run on ctx
// starts afresh.
// Returns kBatchSucceeded when no failure line was logged, no error was raised and every source
// was processed; kBatchFailed otherwise.
int RunFiles(Context& ctx, const std::vector<BatchItem>& items, bool summary,
             const std::function<bool()>& stopRequested = {},
             const std::function<void(const BatchFileResult&)>& finished = {});

// CollectBatch, then RunFiles with a summary when there is more than one file or a folder.
int RunBatch(Context& ctx, const ParsedCommandLine& commandLine,
             const std::function<bool()>& stopRequested = {});

}  // namespace varnook
