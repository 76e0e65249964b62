// The pipeline: takes one file through every step the Run settings ask for, reporting each step
// to the host, and says what became of it. One file at a time per context; any number of files
// side by side with contexts of their own.
#pragma once

#include <string>

#include "report/report_writer.h"

namespace varnook {

struct Context;

enum class FileOutcome {
    Done,     // went through every step asked for; the output is delivered
    Skipped,  // its output was up to date (SkipDone) and is kept as it is
    Failed,   // a step failed; the output may still have been delivered (see Reason)
    Stopped,  // a stop request cut it short; nothing of it is delivered and no work file is left
};

// What became of one file. Every front end takes the file's mark, count and report row from
// this, never from the words of the log.
struct FileResult {
    FileOutcome Outcome = FileOutcome::Done;
    // The failing step's own words, as the log says them ("Could not level"), for the first
    // failure the file met; empty when it met none. A file that failed in one step may go on
    // and be delivered: a full disk while leveling leaves the song to be encoded unleveled.
    std::string Reason;
    // The output the file has now, written by this run or kept as up to date; empty when
    // nothing was delivered.
    std::string Delivered;
    // What the steps found, for the run report: the output's name, the WAV info, the gains and
    // peaks, the cuts and lead silence, the picture. The report's status, reason and output size
    // come from the fields above.
    ReportRow Facts;
    // The same failure in plain words, for people who do not read the log, where the step's own
    // words mislead: a source that vanished is "File not found" (not "Not a valid wav file!"),
    // an output that could not be written names it and the cause ("Could not write /out/a.mp3: a
    // folder of that name is in the way") rather than an error number. Empty when Reason says it.
    std::string PlainReason = {};
};

// Takes the file named by ctx.request.SourcePath (to ctx.request.DestPath) through the steps;
// ctx is the file's own, built from the run's records, so no tag of another file is in it.
// With "SkipDone" on, a source whose output is up to date (see UpToDate) is passed over with
// "Up to date: <output>", and every output made for a file that met no failure carries its
// provenance. Never throws: an error raised from a step (it has had its error box there already;
// a failed move or delete has not) is logged as "<number>: <text>" and an empty line, so the log
// keeps the reason beside the file's lines, and ends the file as failed.
FileResult ProcessFile(Context& ctx);

}  // namespace varnook
