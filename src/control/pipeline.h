// The batch pipeline: takes the file named by ctx.request.SourcePath through every step the
// Run settings ask for, reporting each step to the host.
#pragma once

namespace varnook {

struct Context;

void ProcessFile(Context& ctx);

// ProcessFile for a run over many files: an error raised from a step (it has had its error box
// there already; a failed move or delete has not) is logged as "<number>: <text>" and an empty
// line, so the log keeps the reason beside the file's lines, and the run can go on. False when
// that happened.
bool ProcessFileLoggingErrors(Context& ctx);

}  // namespace varnook
