// Batch mode: the sources named on the command line, each taken through the pipeline in the
// order given, with the log on the host. Knows nothing of windows or of how the host shows it.
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

// Processes every source of the command line with ctx's settings and destination. With more
// than one source each is preceded by "File i of n". A source that does not exist is reported
// in the log; an error a step raised again is logged with an empty line after it, and the run
// goes on with the next source. ctx.stop, and stopRequested when given, are asked before every
// file; a stop logs "Interrupted by user" and leaves the remaining files undone. A stop asked
// for during a file ends its wait for lame or for a folder lock; that file is then reported
// as failed by its step and "Interrupted by user" ends the log.
// Returns kBatchSucceeded when no failure line was logged, no error was raised and every source
// was processed; kBatchFailed otherwise.
int RunBatch(Context& ctx, const ParsedCommandLine& commandLine,
             const std::function<bool()>& stopRequested = {});

}  // namespace varnook
