// The batch pipeline: takes the file named by ctx.request.SourcePath through every step the
// Run settings ask for, reporting each step to the host.
#pragma once

namespace varnook {

struct Context;
struct ReportRow;

// With "SkipDone" on, a source whose output is up to date (see UpToDate) is passed over with
// "Up to date: <output>", and every output made carries its provenance. `facts`, when given,
// gets the output's name and what the steps found: the WAV info, the recommended and the
// applied gain, the lead silence added; its Status is set to "skipped" for a file passed over.
void ProcessFile(Context& ctx, ReportRow* facts = nullptr);

// ProcessFile for a run over many files: an error raised from a step (it has had its error box
// there already; a failed move or delete has not) is logged as "<number>: <text>" and an empty
// line, so the log keeps the reason beside the file's lines, and the run can go on. False when
// that happened.
bool ProcessFileLoggingErrors(Context& ctx, ReportRow* facts = nullptr);

}  // namespace varnook
