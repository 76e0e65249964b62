// Batch mode: the sources named on the command line, files and folders, through the run loop,
// with the log on the host and the status line on the terminal.
#pragma once

#include <functional>

namespace varnook {

struct Context;
struct ParsedCommandLine;

inline constexpr int kBatchSucceeded = 0;
inline constexpr int kBatchFailed = 1;

// Collects the command line's sources (a folder brings the sources the walk finds in it, a
// folder without any is logged) and runs them with ctx's records, reporting to ctx.host. With
// more than one file or a folder the run ends with a summary line. `stopRequested`, when given
// (the progress window closed), is asked as the run's own way of stopping, beside ctx.stop.
// Returns kBatchSucceeded when every file was done or skipped, no source was missing, the run was
// not stopped and the report (if any) was written; kBatchFailed otherwise.
int RunBatch(Context& ctx, const ParsedCommandLine& commandLine, const std::function<bool()>& stopRequested = {});

}  // namespace varnook
