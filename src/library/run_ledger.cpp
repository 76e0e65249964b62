#include "library/run_ledger.h"

#include <filesystem>
#include <optional>

#include "base/host.h"
#include "io/errors.h"
#include "io/numbers.h"
#include "library/sources.h"

namespace varnook {
namespace {

constexpr const char* kMissing = "missing";

std::optional<int64_t> FileBytes(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return static_cast<int64_t>(size);
}

// A file's report row: what the pipeline found, with the status, reason and output size from its
// result, and the time it took. A source that was named but not there is "missing".
ReportRow ReportRowFor(const RunItem& item, const FileResult& result, double seconds)
{
    ReportRow row = result.Facts;
    row.Source = item.Path;
    row.Status = item.Missing ? kMissing : StatusText(result.Outcome);
    row.Reason = result.Reason;
    const bool kept = result.Outcome == FileOutcome::Done || result.Outcome == FileOutcome::Skipped;
    if (kept && !result.Delivered.empty()) row.OutputBytes = FileBytes(result.Delivered);
    row.ProcessingSeconds = seconds;
    return row;
}

// The row of an item the run did not process: only its source, status and reason.
ReportRow UnprocessedRow(const RunItem& item, const char* status, const std::string& reason)
{
    ReportRow row;
    row.Source = item.Path;
    row.Status = status;
    row.Reason = reason;
    return row;
}

}  // namespace

const char* StatusText(FileOutcome outcome)
{
    switch (outcome) {
    case FileOutcome::Done: return "done";
    case FileOutcome::Skipped: return "skipped";
    case FileOutcome::Failed: return "failed";
    case FileOutcome::Stopped: return "stopped";
    }
    return "failed";
}

RunLedger::RunLedger(Host& host, const std::string& reportPath, char decimalSeparator)
    : host_(host), reportPath_(reportPath), decimalSeparator_(decimalSeparator)
{
    if (reportPath.empty()) return;
    try {
        report_ = std::make_unique<ReportWriter>(reportPath);
    } catch (const FileError& e) {
        host_.LogLine("Could not open the report " + reportPath + ": " + e.LogText());
        totals_.ReportFailed = true;
    }
}

RunLedger::~RunLedger() = default;

void RunLedger::FileEnded(const RunItem& item, const FileResult& result, double seconds)
{
    switch (result.Outcome) {
    case FileOutcome::Done:
        ++totals_.Done;
        audioSeconds_ += result.Facts.DurationSeconds.value_or(0);
        break;
    case FileOutcome::Skipped: ++totals_.Skipped; break;
    case FileOutcome::Failed: ++totals_.Failed; break;
    case FileOutcome::Stopped: ++totals_.Stopped; break;
    }
    Append(ReportRowFor(item, result, seconds));
}

void RunLedger::PassedOver(const RunItem& item)
{
    ++totals_.PassedOver;
    Append(UnprocessedRow(item, "passed over", item.PassedOver));
}

void RunLedger::NotStarted(const RunItem& item)
{
    Append(UnprocessedRow(item, "not started", ""));
}

void RunLedger::Append(const ReportRow& row)
{
    if (!report_) return;
    try {
        report_->Append(row);
    } catch (const FileError& e) {
        host_.LogLine("Could not write the report " + reportPath_ + ": " + e.LogText());
        report_.reset();
        totals_.ReportFailed = true;
    }
}

void RunLedger::LogSummary()
{
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string line = "Files done: " + std::to_string(totals_.Done) + ", skipped: " + std::to_string(totals_.Skipped) +
                       ", failed: " + std::to_string(totals_.Failed) + ", stopped: " + std::to_string(totals_.Stopped) +
                       (totals_.PassedOver > 0 ? ", passed over: " + std::to_string(totals_.PassedOver) : "") + "; " +
                       FormatFixed2(wall, decimalSeparator_) + " seconds";
    if (wall > 0) line += ", " + FormatFixed2(audioSeconds_ / wall, decimalSeparator_) + " times real time";
    host_.LogLine(line);
}

}  // namespace varnook
