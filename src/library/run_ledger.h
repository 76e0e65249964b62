// What a run keeps of its files as they end: the report rows, the counts of the summary line and
// whether the run went through. Every figure comes from the files' results, never from the log.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "pipeline/pipeline.h"
#include "report/report_writer.h"

namespace varnook {

class Host;
struct RunItem;

// The report's word for an outcome: "done", "skipped", "failed" or "stopped".
const char* StatusText(FileOutcome outcome);

// What became of the files of a run, in numbers.
struct RunTotals {
    size_t Done = 0;
    size_t Skipped = 0;
    size_t Failed = 0;  // sources missing included
    size_t Stopped = 0;
    size_t PassedOver = 0;      // files the walk passed over as the outputs of sources beside them
    bool Interrupted = false;   // a stop ended the run before its files were through
    bool ReportFailed = false;  // the report could not be opened or written

    bool Succeeded() const { return Failed == 0 && Stopped == 0 && !Interrupted && !ReportFailed; }
};

class RunLedger {
public:
    // Opens the report at `reportPath` when one is asked for; a report that cannot be opened is
    // logged on `host` and fails the run, which goes on without it.
    RunLedger(Host& host, const std::string& reportPath, char decimalSeparator);
    ~RunLedger();
    RunLedger(const RunLedger&) = delete;
    RunLedger& operator=(const RunLedger&) = delete;

    // Counts the file and appends its report row.
    void FileEnded(const RunItem& item, const FileResult& result, double seconds);
    // Counts an item the walk passed over and appends its row: "passed over", with the reason.
    void PassedOver(const RunItem& item);
    // Appends the row of a file a stop left untaken: "not started".
    void NotStarted(const RunItem& item);
    // "Files done: 3, skipped: 1, failed: 0, stopped: 0; 12.34 seconds, 5.67 times real time",
    // the audio of the files done over the time since the ledger was made; with files passed
    // over, ", passed over: N" follows the stopped ones.
    void LogSummary();

    RunTotals& Totals() { return totals_; }

private:
    void Append(const ReportRow& row);

    Host& host_;
    std::string reportPath_;
    char decimalSeparator_;
    std::unique_ptr<ReportWriter> report_;
    RunTotals totals_;
    double audioSeconds_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace varnook
